// The commands that save the files e-mails carry: one attachment through a
// save dialog, all of the e-mail shown, all of the ticked e-mails. Nothing
// saved is ever opened or run.

#include "app/CQuillmendDlg.h"

#include "app/SaveJob.h"
#include "app/SaveReport.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/EnginePath.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

void CQuillmendDlg::OnSaveAttachment(int number)
{
    const CDbxBrowseWindow::ShownEmail shown = browseWindow_.Shown();
    const std::vector<render::Attachment>& list = browseWindow_.Preview().Attachments();
    if (shown.file == nullptr || number < 0 || static_cast<std::size_t>(number) >= list.size())
        return;
    const QString chosen = QDir::toNativeSeparators(Dialogs().SaveFileAs(
        this, res::Text(IDS_SAVE_ATTACHMENT_TITLE),
        QString::fromStdString(list[static_cast<std::size_t>(number)].SaveName())));
    if (chosen.isEmpty())
        return;
    // A new file in an existing folder: the folder's own bytes, which its
    // text may not hold, and the name as typed.
    const QFileInfo info(chosen);
    const ui::DialogPath folder = ui::PathFromDialog(QDir::toNativeSeparators(info.absolutePath()));
    auto tally = std::make_shared<app::AttachmentTally>();
    app::SaveJob job = app::SaveJob::ForAttachment(
        *shown.file, {shown.messageIndex, shown.displayIndex}, static_cast<std::size_t>(number),
        folder.path.empty() ? ui::EnginePath(info.absolutePath()) : folder.path, ui::EnginePath(info.fileName()),
        tally);
    RunSaveJob(job);
    const app::SaveReport report = app::ReportAttachment(job.Tally(), *tally, ui::ShownPath(tally->lastPath));
    Dialogs().Tell(this, report.icon, report.text);
}

void CQuillmendDlg::OnSaveShownAttachments()
{
    const CDbxBrowseWindow::ShownEmail shown = browseWindow_.Shown();
    if (shown.file == nullptr)
        return;
    SaveAttachmentsOf(*shown.file, {{shown.messageIndex, shown.displayIndex}});
}

void CQuillmendDlg::OnSaveTickedAttachments()
{
    std::vector<app::SaveItem> items = TickedForSave();
    const dbx::DbxFile* file = browseWindow_.GetCurrentDbxFile();
    if (!items.empty() && file != nullptr)
        SaveAttachmentsOf(*file, std::move(items));
}

void CQuillmendDlg::SaveAttachmentsOf(const dbx::DbxFile& file, std::vector<app::SaveItem> items)
{
    const QString folder =
        QDir::toNativeSeparators(Dialogs().ChooseFolder(this, res::Text(IDS_ATTACHMENTS_FOLDER_TITLE)));
    if (folder.isEmpty())
        return;
    // The folder's own bytes, which its text may not hold.
    const ui::DialogPath target = ui::PathFromDialog(folder);
    auto tally = std::make_shared<app::AttachmentTally>();
    app::SaveJob job = app::SaveJob::ForAttachments(
        file, std::move(items), target.path.empty() ? ui::EnginePath(folder) : target.path, tally);
    RunSaveJob(job);
    const app::SaveReport report = app::ReportAttachmentSave(job.Tally(), *tally, folder);
    Dialogs().Tell(this, report.icon, report.text);
}
