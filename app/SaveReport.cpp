#include "app/SaveReport.h"

#include "res/Strings.h"
#include "res/resource.h"

namespace app {

SaveReport ReportSave(const SaveTally& tally, const QString& folder)
{
    if (tally.AllWhole())
        return {QMessageBox::Information, res::Format(IDS_SAVED_TO, {folder})};
    QStringList lines;
    lines << res::Text(tally.Cancelled() ? IDS_SAVE_CANCELLED : IDS_SAVE_NOT_ALL);
    lines << res::Format(IDS_SAVE_COUNT_SAVED, {QString::number(tally.whole), QString::number(tally.total), folder});
    const std::pair<int, int> counts[] = {
        {IDS_SAVE_COUNT_INCOMPLETE, tally.cutShort},
        {IDS_SAVE_COUNT_NOT_WRITTEN, tally.notWritten},
        {IDS_SAVE_COUNT_NOT_TRIED, tally.notTried},
    };
    for (const auto& [id, count] : counts) {
        if (count > 0)
            lines << res::Format(id, {QString::number(count)});
    }
    if (!tally.durable)
        lines << res::Text(IDS_SAVE_NOT_DURABLE);
    // A cancel the user asked for is news; anything lost is a warning.
    const bool lost = tally.cutShort > 0 || tally.notWritten > 0 || !tally.durable;
    return {lost ? QMessageBox::Warning : QMessageBox::Information, lines.join(QLatin1Char('\n'))};
}

} // namespace app
