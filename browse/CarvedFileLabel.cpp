#include "browse/CarvedFileLabel.h"

#include "dbx/Carver.h"
#include "platform/FileTime.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/SizeText.h"

#include <algorithm>

namespace {

// The year of a record's local file time; 0 when it has none.
int YearOf(std::uint64_t date)
{
    platform::SystemTime st;
    return date != 0 && platform::FileTimeToSystemTime(date, st) ? st.year : 0;
}

// Where the file's bytes begin in the image.
std::uint64_t FirstPosition(const dbx::CarvedFile& file)
{
    if (file.Start() >= 0)
        return static_cast<std::uint64_t>(file.Start());
    const dbx::Piece& first = file.Pieces().front();
    return first.Position(first.from);
}

} // namespace

QString CarvedFileLabel(const dbx::CarvedFile& file)
{
    const int count = file.File().GetCount();
    const QString where = ui::SizeText(FirstPosition(file));
    QString label = count == 1 ? res::Format(IDS_CARVED_FILE_ONE, {where})
                               : res::Format(IDS_CARVED_FILE, {where, QString::number(count)});
    int first = 0, last = 0;
    for (const dbx::EmailRecord& r : file.File().Records()) {
        if (const int year = YearOf(r.date)) {
            first = first ? std::min(first, year) : year;
            last = std::max(last, year);
        }
    }
    if (first != 0) {
        const QString years = first == last ? QString::number(first)
                                            : QString::number(first) + QChar(0x2013) + QString::number(last);
        label = res::Format(IDS_CARVED_FILE_DATES, {label, years});
    }
    return label;
}

QString CarvedFileTip(const dbx::CarvedFile& file, const QString& imageName)
{
    int deleted = 0;
    for (const dbx::EmailRecord& r : file.File().Records())
        deleted += r.isDeleted ? 1 : 0;
    std::uint64_t from = ~std::uint64_t{0}, to = 0;
    for (const dbx::Piece& p : file.Pieces()) {
        from = std::min(from, p.Position(p.from));
        to = std::max(to, p.Position(p.from) + (p.to - p.from));
    }
    return res::Format(IDS_CARVED_FILE_TIP,
                       {imageName, QString::number(file.File().GetCount() - deleted), QString::number(deleted),
                        QString::number(file.Pieces().size()), ui::SizeText(from), ui::SizeText(to)});
}
