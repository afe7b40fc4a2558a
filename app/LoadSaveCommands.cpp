// The Load and Save commands of the main dialog.

#include "app/CQuillmendDlg.h"

#include "app/CSaveProgressDlg.h"
#include "app/SaveJob.h"
#include "app/SaveReport.h"
#include "dbx/DbxFile.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/EnginePath.h"

#include <QDir>

#include <vector>

void CQuillmendDlg::OnLoad()
{
    const QStringList chosen = Dialogs().OpenFiles(this, QStringLiteral(".dbx"));
    if (chosen.isEmpty())
        return;
    // The dialog answers with text: a name that is not text comes back with
    // replacement characters, and is looked up among its folder's entries.
    std::vector<std::string> files;
    QStringList missing;
    QStringList unclear;
    for (const QString& text : chosen) {
        const ui::DialogPath found = ui::PathFromDialog(text);
        if (!found.path.empty())
            files.push_back(found.path);
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
}

void CQuillmendDlg::OnSave()
{
    const CMessageListCtrl& list = browseWindow_.MessageList();
    if (list.GetTickedCount() <= 0) {
        Dialogs().Tell(this, QMessageBox::Information, res::Text(IDS_NOTHING_SELECTED));
        return;
    }
    // The rows as they are now, in the list's order: whatever happens to the
    // list while the folder is chosen or the files are written, this save
    // writes what was ticked when it began.
    const dbx::DbxFile* file = browseWindow_.GetCurrentDbxFile();
    std::vector<app::SaveItem> items;
    for (int i = 0; i < list.GetItemCount(); ++i) {
        if (list.IsTicked(i))
            items.push_back({list.GetRow(i)->messageIndex, i});
    }
    const QString folder = Dialogs().ChooseFolder(this, res::Text(IDS_SAVE_FOLDER_TITLE));
    if (folder.isEmpty() || !file)
        return;

    // The folder's own bytes, which its text may not hold.
    const QString folderText = QDir::toNativeSeparators(folder);
    const ui::DialogPath target = ui::PathFromDialog(folderText);
    app::SaveJob job = app::SaveJob::ForFile(*file, std::move(items),
                                             target.path.empty() ? ui::EnginePath(folderText) : target.path);
    RunSaveJob(job);
    const app::SaveReport report = app::ReportSave(job.Tally(), QDir::toNativeSeparators(folder));
    Dialogs().Tell(this, report.icon, report.text);
}

void CQuillmendDlg::RunSaveJob(app::SaveJob& job)
{
    CSaveProgressDlg::Run(this, job);
}
