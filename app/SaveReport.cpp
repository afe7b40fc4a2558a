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

SaveReport ReportAttachmentSave(const SaveTally& emails, const AttachmentTally& files, const QString& folder)
{
    if (files.found == 0 && !emails.Cancelled())
        return {QMessageBox::Information, res::Text(IDS_ATTACHMENTS_NONE)};
    if (files.AllWhole() && emails.durable && !emails.Cancelled())
        return {QMessageBox::Information,
                res::Format(IDS_ATTACHMENTS_SAVED_TO, {QString::number(files.whole), folder})};
    QStringList lines;
    lines << res::Text(emails.Cancelled() ? IDS_SAVE_CANCELLED : IDS_ATTACHMENTS_NOT_ALL);
    lines << res::Format(IDS_ATTACHMENTS_COUNT_SAVED,
                         {QString::number(files.whole), QString::number(files.found), folder});
    const std::pair<int, int> counts[] = {
        {IDS_ATTACHMENTS_COUNT_DAMAGED, files.damaged},
        {IDS_SAVE_COUNT_NOT_WRITTEN, files.notWritten},
        {IDS_ATTACHMENTS_COUNT_NOT_TRIED, emails.notTried},
    };
    for (const auto& [id, count] : counts) {
        if (count > 0)
            lines << res::Format(id, {QString::number(count)});
    }
    if (!emails.durable)
        lines << res::Text(IDS_SAVE_NOT_DURABLE);
    const bool lost = files.damaged > 0 || files.notWritten > 0 || !emails.durable;
    return {lost ? QMessageBox::Warning : QMessageBox::Information, lines.join(QLatin1Char('\n'))};
}

SaveReport ReportAttachment(const SaveTally& emails, const AttachmentTally& file, const QString& shownPath)
{
    SaveReport report{QMessageBox::Warning, {}};
    if (file.notWritten > 0 || file.found == 0)
        report.text = res::Format(IDS_ATTACHMENT_NOT_SAVED, {shownPath});
    else if (file.damaged > 0)
        report.text = res::Format(IDS_ATTACHMENT_SAVED_DAMAGED, {shownPath});
    else
        report = {QMessageBox::Information, res::Format(IDS_ATTACHMENT_SAVED_AS, {shownPath})};
    if (!emails.durable && file.notWritten == 0) {
        report.icon = QMessageBox::Warning;
        report.text += QLatin1Char('\n') + res::Text(IDS_SAVE_NOT_DURABLE);
    }
    return report;
}

} // namespace app
