// The Load and Save commands of the main dialog.

#include "app/CQuillmendDlg.h"

#include "app/CSaveProgressDlg.h"
#include "app/OpenKind.h"
#include "app/SaveJob.h"
#include "app/SaveReport.h"
#include "archive/MboxFile.h"
#include "dbx/DbxFile.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "platform/Directory.h"
#include "ui/EnginePath.h"

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <vector>

void CQuillmendDlg::OnLoad()
{
    const QStringList chosen = Dialogs().OpenFiles(this, QStringLiteral(".dbx"));
    if (chosen.isEmpty())
        return;
    // The dialog answers with text: a name that is not text comes back with
    // replacement characters, and is looked up among its folder's entries.
    std::vector<std::string> files, images;
    QStringList missing;
    QStringList unclear;
    for (const QString& text : chosen) {
        const ui::DialogPath found = ui::PathFromDialog(text);
        const app::OpenKind kind = found.path.empty() ? app::OpenKind::kNothing : app::KindToOpen(found.path);
        if (kind == app::OpenKind::kMailFile)
            files.push_back(found.path);
        else if (kind == app::OpenKind::kImage)
            images.push_back(found.path);
        else
            (found.ambiguous ? unclear : missing) << QDir::toNativeSeparators(text);
    }
    // Opened, listed and shown expanded; the user selects one to scan it.
    if (!files.empty())
        AddFilesUnderOneNode(files);
    QStringList lines;
    if (!unclear.isEmpty())
        lines << res::Text(IDS_LOAD_NAMES_UNCLEAR) << unclear;
    if (!missing.isEmpty())
        lines << res::Text(IDS_FILES_NOT_FOUND) << missing;
    if (!lines.isEmpty())
        Dialogs().Tell(this, QMessageBox::Warning, lines.join(QLatin1Char('\n')));
    // Any other file is a disk image, read for the mail files it held.
    for (const std::string& image : images)
        OpenImage(image);
}

std::vector<app::SaveItem> CQuillmendDlg::TickedForSave()
{
    // The rows as they are now, in the list's order: whatever happens to the
    // list while the target is chosen or the files are written, a save
    // writes what was ticked when it began.
    const CMessageListCtrl& list = browseWindow_.MessageList();
    std::vector<app::SaveItem> items;
    if (list.GetTickedCount() <= 0) {
        Dialogs().Tell(this, QMessageBox::Information, res::Text(IDS_NOTHING_SELECTED));
        return items;
    }
    for (int i = 0; i < list.GetItemCount(); ++i) {
        if (list.IsTicked(i))
            items.push_back({list.GetRow(i)->messageIndex, i});
    }
    return items;
}

void CQuillmendDlg::SaveAndReport(app::SaveJob& job, const QString& target)
{
    // The writing reads the listed file on another thread: e-mails found in
    // its moved blocks meanwhile wait until it is over.
    browseWindow_.HoldChanges(true);
    RunSaveJob(job);
    browseWindow_.HoldChanges(false);
    const app::SaveReport report = app::ReportSave(job.Tally(), target);
    Dialogs().Tell(this, report.icon, report.text);
}

void CQuillmendDlg::OnSave()
{
    std::vector<app::SaveItem> items = TickedForSave();
    if (items.empty())
        return;
    const dbx::DbxFile* file = browseWindow_.GetCurrentDbxFile();
    const QString folder = QDir::toNativeSeparators(Dialogs().ChooseFolder(this, res::Text(IDS_SAVE_FOLDER_TITLE)));
    if (folder.isEmpty() || !file)
        return;
    // The folder's own bytes, which its text may not hold.
    const ui::DialogPath target = ui::PathFromDialog(folder);
    app::SaveJob job =
        app::SaveJob::ForFile(*file, std::move(items), target.path.empty() ? ui::EnginePath(folder) : target.path);
    SaveAndReport(job, folder);
}

void CQuillmendDlg::OnSaveMbox()
{
    std::vector<app::SaveItem> items = TickedForSave();
    if (items.empty())
        return;
    const dbx::DbxFile* file = browseWindow_.GetCurrentDbxFile();
    const QString path =
        QDir::toNativeSeparators(Dialogs().SaveFile(this, res::Text(IDS_SAVE_MBOX_TITLE), QStringLiteral(".mbox")));
    if (path.isEmpty() || !file)
        return;
    // A new file in an existing folder: the folder's own bytes, which its
    // text may not hold, and the name as typed.
    const QFileInfo info(path);
    const ui::DialogPath folder = ui::PathFromDialog(QDir::toNativeSeparators(info.absolutePath()));
    const std::string target = folder.path.empty() ? ui::EnginePath(path)
                                                   : platform::ChildPath(folder.path, ui::EnginePath(info.fileName()));
    auto mbox = std::make_shared<archive::MboxFile>();
    if (!mbox->Create(target)) {
        Dialogs().Tell(this, QMessageBox::Warning, res::Format(IDS_MBOX_NOT_CREATED, {path}));
        return;
    }
    app::SaveJob job = app::SaveJob::ForMbox(*file, std::move(items), mbox);
    SaveAndReport(job, path);
}

void CQuillmendDlg::RunSaveJob(app::SaveJob& job)
{
    CSaveProgressDlg::Run(this, job);
}
