// Disk images and disks in the main dialog: read for lost mail with their
// progress shown, and added to the tree.

#include "app/CQuillmendDlg.h"

#include "app/CCarveProgressDlg.h"
#include "app/CarveJob.h"
#include "platform/ImageFile.h"
#include "platform/Mounts.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/EnginePath.h"
#include "ui/SizeText.h"

#include <QDir>
#include <QTreeWidget>

#include <cstring>

namespace {

// Why the image or disk at `path` could not be opened, for its user: which
// right is missing where that is the reason.
QString OpenErrorText(const std::string& path, const dbx::Carver& carver, bool disk)
{
    using E = platform::ImageFile::OpenError;
    const QString shown = QDir::toNativeSeparators(ui::ShownPath(path));
    switch (carver.OpenError()) {
    case E::kMissing: return res::Format(IDS_IMAGE_NOT_OPENED, {shown, res::Text(IDS_OPEN_MISSING)});
    case E::kEmpty: return res::Format(IDS_IMAGE_NOT_OPENED, {shown, res::Text(IDS_OPEN_EMPTY)});
    case E::kNotFileOrDisk: return res::Format(IDS_IMAGE_NOT_OPENED, {shown, res::Text(IDS_OPEN_NOT_FILE)});
    case E::kNoPermission: {
        if (!disk)
            return res::Format(IDS_IMAGE_NO_PERMISSION, {shown});
        const std::string group = platform::ImageFile::ReadingGroup(path);
        return group.empty() ? res::Format(IDS_DISK_NO_PERMISSION, {shown})
                             : res::Format(IDS_DISK_NO_PERMISSION_GROUP, {shown, ui::ShownPath(group)});
    }
    default:
        return res::Format(IDS_IMAGE_NOT_OPENED, {shown, QString::fromLocal8Bit(std::strerror(carver.OpenErrno()))});
    }
}

} // namespace

void CQuillmendDlg::OnDisks()
{
    const std::string path = Dialogs().ChooseDisk(this);
    if (!path.empty())
        OpenImage(path, true);
}

QTreeWidgetItem* CQuillmendDlg::OpenImage(const std::string& path)
{
    return OpenImage(path, platform::IsBlockDevice(path));
}

QTreeWidgetItem* CQuillmendDlg::OpenImage(const std::string& path, bool disk)
{
    app::CarveJob job;
    if (!job.Open(path)) {
        Dialogs().Tell(this, QMessageBox::Warning, OpenErrorText(path, job.Carver(), disk));
        return nullptr;
    }
    RunCarveJob(job);
    const dbx::CarveCounts counts = job.Carver().Counts();
    const QString shown = QDir::toNativeSeparators(ui::ShownPath(path));
    // A node that says how far the reading got, when it was stopped.
    const QString text = counts.stopped ? res::Format(IDS_CARVE_STOPPED_NODE, {shown, ui::SizeText(counts.bytesRead),
                                                                                ui::SizeText(counts.imageSize)})
                                        : shown;
    const std::size_t found = job.Carver().Files().size();
    QTreeWidgetItem* node = browseWindow_.AddCarvedImage(text, path, job.TakeCarver());
    node->setExpanded(true);

    QStringList notes;
    if (counts.unreadableSectors > 0)
        notes << res::Format(IDS_CARVE_UNREADABLE, {QString::number(counts.unreadableSectors), shown});
    if (counts.headersLeftOut > 0 || counts.chainsLeftOut > 0 || (counts.filesLeftOut > 0 && !job.CancelRequested()))
        notes << res::Format(IDS_CARVE_INCOMPLETE, {shown});
    if (found == 0 && !job.CancelRequested())
        notes << res::Format(IDS_CARVE_NOTHING, {shown});
    if (!notes.isEmpty())
        Dialogs().Tell(this, found == 0 && notes.size() == 1 ? QMessageBox::Information : QMessageBox::Warning,
                       notes.join(QLatin1Char('\n')));
    return node;
}

void CQuillmendDlg::RunCarveJob(app::CarveJob& job)
{
    CCarveProgressDlg::Run(this, job);
}
