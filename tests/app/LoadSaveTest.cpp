// The Load and Save commands as a user meets them, with the dialogs answered
// by the test; the real dialogs, driven by keys, at the end.

#include "app/CSaveProgressDlg.h"
#include "app/SaveJob.h"
#include "app/SaveReport.h"
#include "dbx/DbxFile.h"
#include "res/Menus.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/FileOpsRecorder.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "support/WhenShown.h"
#include "tools/dbxgen/DbxImage.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <chrono>
#include <functional>
#include <semaphore>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::ReadFile;
using testsupport::WhenShown;
namespace fs = std::filesystem;

namespace {

class LoadSaveTest : public testsupport::MainDialogFakesTest {
protected:
    // A mail file whose e-mails have these subjects (one block each, live;
    // "": no subject line; a subject may carry more header lines after it).
    std::string Mailbox(const std::string& name, const std::vector<std::string>& subjects)
    {
        dbxgen::DbxImage image(1024 * (subjects.size() + 2));
        for (std::size_t i = 0; i < subjects.size(); ++i) {
            const std::string head = subjects[i].empty() ? "From: nobody@example.com" : "Subject: " + subjects[i];
            image.PutLiveBlock(static_cast<std::uint32_t>(1024 * (i + 1)),
                               head + "\r\n\r\nbody " + std::to_string(i), 0);
        }
        const std::string path = dir.File(name);
        EXPECT_TRUE(image.WriteTo(path));
        return path;
    }
};

} // namespace

// --- Load -------------------------------------------------------------------------------------

TEST_F(LoadSaveTest, LoadAddsTheChosenFilesUnderOneExpandedNodeAndScansNothing)
{
    const QString one = QString::fromStdString(Mailbox("one.dbx", {"a"}));
    fs::create_directories(dir.File("mail"));
    const QString a = QString::fromStdString(Mailbox("mail/a.dbx", {"a"}));
    const QString inbox = QString::fromStdString(Mailbox("mail/INBOX.DBX", {"b"}));
    const QString broken = QString::fromStdString(dir.File("mail/broken.dbx"));
    testsupport::WriteFile(broken.toStdString(), "");  // cannot be opened: added all the same
    QSignalSpy scans(&Browse(), &CDbxBrowseWindow::scanStarted);

    const struct {
        QStringList chosen;
        QString nodeText;
        QStringList fileNodes;
    } loads[] = {
        {{one}, one, {"one"}},
        {{a, inbox, broken}, QString::fromStdString(dir.File("mail")), {"a", "INBOX", "broken"}},
    };
    for (const auto& load : loads) {
        dialogs.filesToOpen = load.chosen;
        dlg->OnLoad();
        QTreeWidgetItem* node = Tree().topLevelItem(Tree().topLevelItemCount() - 1);
        EXPECT_EQ(node->text(0), QDir::toNativeSeparators(load.nodeText));
        EXPECT_TRUE(node->isExpanded());
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i)
            names << node->child(i)->text(0);
        EXPECT_EQ(names, load.fileNodes);
    }
    EXPECT_EQ(dialogs.openedFor, (QStringList{".dbx", ".dbx"}));
    EXPECT_EQ(Tree().topLevelItemCount(), 3);  // the store's node and two loads
    EXPECT_EQ(Browse().FileCount(), 4);
    EXPECT_EQ(Tree().currentItem(), nullptr);  // nothing selected...
    EXPECT_EQ(scans.count(), 0);               // ...and nothing scanned

    dialogs.filesToOpen.clear();  // Cancel
    dlg->OnLoad();
    EXPECT_EQ(Tree().topLevelItemCount(), 3);
}

// --- Save: what is written ---------------------------------------------------------------

TEST_F(LoadSaveTest, WhatIsTickedWhenSaveBeginsIsSavedAndNothingWithoutTicksOrFolder)
{
    Load(Mailbox("m.dbx", {"kept", "other"}));
    QTreeWidgetItem* file = Tree().currentItem();
    dlg->OnSave();
    Tree().setCurrentItem(Tree().topLevelItem(0));  // the folder node: an empty list
    List().TickAll();
    dlg->OnSave();
    ASSERT_EQ(dialogs.asked.size(), 2u);
    for (const auto& asked : dialogs.asked) {
        EXPECT_EQ(asked.text, QStringLiteral("Please select emails you like to recover!"));
        EXPECT_EQ(asked.icon, QMessageBox::Information);
        EXPECT_EQ(asked.buttons, QMessageBox::Ok);
    }
    EXPECT_TRUE(dialogs.folderTitles.isEmpty());

    // Ticked, but the folder chooser cancelled: nothing more is said.
    Tree().setCurrentItem(file);
    List().ToggleTick(0);
    dialogs.folder.clear();
    dlg->OnSave();
    EXPECT_EQ(dialogs.folderTitles.size(), 1);
    EXPECT_EQ(dialogs.asked.size(), 2u);

    // The ticks changed while the folder is chosen: those of the start count.
    dialogs.whileChoosingFolder = [this] {
        List().UntickAll();
        List().ToggleTick(1);
        List().OnColumnClick(3);
    };
    const QString folder = Folder("out");
    dlg->OnSave();
    const auto files = Files(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, "kept.eml");
}

TEST_F(LoadSaveTest, TickedRowsAreWrittenInDisplayOrderUnderTheirSubjectNames)
{
    Load(Mailbox("m.dbx", {"Same first twenty bytes A", "Same first twenty bytes B", "a/b",
                           "Re: Invoice 2008/01 for project X", "", "not ticked"}));
    ASSERT_EQ(List().GetItemCount(), 6);
    List().OnColumnClick(3);
    List().OnColumnClick(3);  // subject, descending: B before A
    for (int i = 0; i < List().GetItemCount(); ++i)
        if (List().GetRow(i)->record->subject != "not ticked")
            List().ToggleTick(i);
    std::vector<int> order;
    for (int i = 0; i < List().GetItemCount(); ++i)
        order.push_back(List().GetRow(i)->messageIndex);
    QTreeWidgetItem* selected = Tree().currentItem();

    const QString folder = Folder("out");
    dlg->OnSave();
    EXPECT_EQ(dialogs.folderTitles, QStringList{"Select a folder to store the selected emails."});
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Information);
    EXPECT_EQ(LastMessage().text, QStringLiteral("OK! The selected emails have been saved to \"%1\".")
                                      .arg(QDir::toNativeSeparators(folder)));

    const auto files = Files(folder);
    ASSERT_EQ(files.size(), 5u);
    EXPECT_TRUE(files.at("Same first twenty by.eml").ends_with("body 1"));  // B came first
    EXPECT_TRUE(files.at("a_b.eml").ends_with("body 2"));
    EXPECT_TRUE(files.at("Re_ Invoice 2008_01 .eml").ends_with("body 3"));  // 20 bytes, then replaced
    // A and the empty subject: the clock and the row's display index.
    const int rowOfA = static_cast<int>(std::find(order.begin(), order.end(), 0) - order.begin());
    const int rowOfEmpty = static_cast<int>(std::find(order.begin(), order.end(), 4) - order.begin());
    int clockNames = 0;
    for (const auto& [name, text] : files) {
        if (name.find_first_not_of("0123456789") != name.size() - 4)
            continue;
        ++clockNames;
        const std::string row = std::to_string(text.ends_with("body 0") ? rowOfA : rowOfEmpty);
        EXPECT_TRUE(name.ends_with(row + ".eml")) << name;
    }
    EXPECT_EQ(clockNames, 2);

    // Ticks, order, list and tree as they were.
    EXPECT_EQ(List().GetTickedCount(), 5);
    for (int i = 0; i < List().GetItemCount(); ++i)
        EXPECT_EQ(List().GetRow(i)->messageIndex, order[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Tree().currentItem(), selected);
}

// --- Save: when not everything could be saved --------------------------------------------------

TEST_F(LoadSaveTest, AFailedSaveIsNotReportedAsASuccess)
{
    // The third e-mail's second block lies beyond where the file will end.
    dbxgen::DbxImage image(1 << 16);
    image.PutLiveBlock(1024, "Subject: one\r\n\r\nbody", 0);
    image.PutLiveBlock(2048, "Subject: two\r\n\r\nbody", 0);
    image.PutLiveBlock(3072, std::string("Subject: three\r\n") + std::string(490, 'x'), 40000);
    image.PutLiveBlock(40000, "tail", 0);
    const std::string path = dir.File("shrinks.dbx");
    ASSERT_TRUE(image.WriteTo(path));
    Load(path);
    ASSERT_EQ(List().GetItemCount(), 3);
    List().TickAll();
    ASSERT_EQ(::truncate(path.c_str(), 8192), 0);  // the mail program compacts it meanwhile

    const QString folder = Folder("out");
    dlg->OnSave();
    EXPECT_EQ(Files(folder).size(), 3u);  // the cut e-mail is kept, as far as it could be read
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_EQ(LastMessage().text,
              QStringLiteral("Not every selected email could be saved.\nSaved: 2 of 3 to \"%1\".\n"
                             "Saved incomplete, because the mail file shrank while it was read: 1")
                  .arg(QDir::toNativeSeparators(folder)));

    // A "folder" that is a file: nothing can be written there.
    dialogs.folder = QString::fromStdString(path);
    dlg->OnSave();
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Saved: 0 of 3 to")));
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Could not be written (is the folder full or read-only?): 3")));
}

TEST_F(LoadSaveTest, SavedFilesAreNamedAsTheListShowsDatedByTheirDateHeaderAndNeverWrittenOver)
{
    Load(Mailbox("dated.dbx", {"=?UTF-8?B?U29tbWVyIGluIFPDvGR0aXJvbA==?=\r\nDate: Tue, 15 Jan 2008 10:20:30 +0100",
                               "no date"}));
    List().TickAll();
    const QString folder = Folder("out");
    dlg->OnSave();
    const auto files = Files(folder);
    ASSERT_EQ(files.count("Sommer in S\xC3\xBC" "dtirol.eml"), 1u);
    ASSERT_EQ(files.count("no date.eml"), 1u);
    const auto mtime = [&](const std::string& name) {
        struct stat st {};
        ::stat((folder.toStdString() + "/" + name).c_str(), &st);
        return st.st_mtim;
    };
    EXPECT_EQ(mtime("Sommer in S\xC3\xBC" "dtirol.eml").tv_sec, 1200388830);  // 09:20:30 UTC
    const timespec saved = mtime("no date.eml");
    EXPECT_GT(saved.tv_sec, 1200388830);  // the time of saving

    // Saved again: the first files stay as they are, the new ones get clock names.
    dlg->OnSave();
    const auto again = Files(folder);
    EXPECT_EQ(again.size(), 4u);
    for (const auto& [name, text] : files)
        EXPECT_EQ(again.at(name), text);
    EXPECT_EQ(mtime("no date.eml").tv_nsec, saved.tv_nsec);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Information);
}

TEST_F(LoadSaveTest, TheListMenuSavesTickedEmailsAsOneMboxFile)
{
    QMenu* menu = res::LoadPopupMenu(IDR_LIST_MENU, nullptr);
    const QList<QAction*> actions = menu->actions();
    const auto mboxEntry = std::find_if(actions.begin(), actions.end(),
                                        [](const QAction* a) { return a->data().toInt() == ID_SAVE_MBOX; });
    ASSERT_NE(mboxEntry, actions.end());
    EXPECT_EQ((*mboxEntry)->text(), QStringLiteral("Save ticked e-mails as one mbox file\u2026"));
    delete menu;

    Load(Mailbox("m.dbx", {"one", "two", "three"}));
    List().TickAll();
    const QString mbox = QString::fromStdString(dir.File("out.mbox"));
    dialogs.saveFile = mbox;
    Browse().OnCommand(ID_SAVE_MBOX);
    EXPECT_EQ(dialogs.saveTitles, QStringList{"Save the selected emails as one mbox file"});
    EXPECT_EQ(LastMessage().icon, QMessageBox::Information);
    EXPECT_EQ(LastMessage().text, QStringLiteral("OK! The selected emails have been saved to \"%1\".").arg(mbox));
    const std::string written = ReadFile(mbox.toStdString());
    EXPECT_TRUE(written.starts_with("From MAILER-DAEMON "));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 3 * 5);  // separator, 2 lines, body, blank

    // Never an existing file: it stays as it is.
    Browse().OnCommand(ID_SAVE_MBOX);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_TRUE(LastMessage().text.startsWith(QStringLiteral("\"%1\" could not be created").arg(mbox)));
    EXPECT_EQ(ReadFile(mbox.toStdString()), written);

    // A disk that fills after two entries: they stay, a valid mbox, and the
    // report counts the third as not written.
    const QString full = QString::fromStdString(dir.File("full.mbox"));
    dialogs.saveFile = full;
    const std::size_t twoEntries = written.find("\nFrom ", written.find("\nFrom ") + 1) + 1;
    {
        testsupport::FileOpsRecorder ops;
        ops.FailWritesAfter(twoEntries + 2, full.toStdString());
        Browse().OnCommand(ID_SAVE_MBOX);
    }
    EXPECT_EQ(ReadFile(full.toStdString()), written.substr(0, twoEntries));
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Saved: 2 of 3")));
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Could not be written (is the folder full or read-only?): 1")));
}

TEST(SaveReport, CountsWhatWasSavedAndWhatWasNot)
{
    const QString folder = QStringLiteral("/mail");
    const struct {
        app::SaveTally tally;
        QMessageBox::Icon icon;
        QString text;
    } cases[] = {
        {{3, 3, 0, 0, 0, true}, QMessageBox::Information, "OK! The selected emails have been saved to \"/mail\"."},
        {{3, 3, 0, 0, 0, false}, QMessageBox::Warning,
         "Not every selected email could be saved.\nSaved: 3 of 3 to \"/mail\".\n"
         "The saved files could not be flushed to the disk: copy them elsewhere before you rely on them."},
        {{5, 1, 1, 1, 2, true}, QMessageBox::Warning,
         "Saving was cancelled.\nSaved: 1 of 5 to \"/mail\".\n"
         "Saved incomplete, because the mail file shrank while it was read: 1\n"
         "Could not be written (is the folder full or read-only?): 1\n"
         "Not saved, because saving was cancelled: 2"},
        // Cancelled, nothing lost: news, not a warning.
        {{3, 0, 0, 0, 3, true}, QMessageBox::Information,
         "Saving was cancelled.\nSaved: 0 of 3 to \"/mail\".\nNot saved, because saving was cancelled: 3"},
    };
    for (const auto& c : cases) {
        const app::SaveReport report = app::ReportSave(c.tally, folder);
        EXPECT_EQ(report.icon, c.icon);
        EXPECT_EQ(report.text, c.text);
    }
}

// --- the writing: order, cancel, flush ------------------------------------------------------

namespace {

// A save of `n` e-mails whose writer records what it wrote.
struct RecordedJob {
    std::vector<int> written;
    int flushes = 0;
    bool flushResult = true;
    dbx::DbxFile::WriteResult result = dbx::DbxFile::WriteResult::kWhole;
    std::function<void(int)> beforeWrite;
    app::SaveJob job;

    explicit RecordedJob(int n) : job(Items(n), [this](const app::SaveItem& item) { return Write(item); },
                                      [this] { ++flushes; return flushResult; }) {}

    static std::vector<app::SaveItem> Items(int n)
    {
        std::vector<app::SaveItem> items;
        for (int i = 0; i < n; ++i)
            items.push_back({100 + i, i});
        return items;
    }
    dbx::DbxFile::WriteResult Write(const app::SaveItem& item)
    {
        if (beforeWrite)
            beforeWrite(item.displayIndex);
        written.push_back(item.messageIndex);
        return result;
    }
};

} // namespace

TEST(SaveJob, WritesInOrderAndFlushesOnceWhenAnythingWasWritten)
{
    RecordedJob saved(3);
    saved.job.Run();
    EXPECT_EQ(saved.written, (std::vector<int>{100, 101, 102}));
    EXPECT_EQ(saved.flushes, 1);
    EXPECT_TRUE(saved.job.Tally().AllWhole());

    RecordedJob none(2);
    none.result = dbx::DbxFile::WriteResult::kNotCreated;
    none.job.Run();
    EXPECT_EQ(none.flushes, 0);  // nothing to flush
    EXPECT_EQ(none.job.Tally().notWritten, 2);

    RecordedJob lost(1);
    lost.flushResult = false;
    lost.job.Run();
    EXPECT_FALSE(lost.job.Tally().durable);
    EXPECT_FALSE(lost.job.Tally().AllWhole());
}

TEST(SaveProgressWindow, ShowsProgressAndItsCancelStopsAfterTheCurrentEmail)
{
    // The first e-mail takes until the test lets it go.
    RecordedJob saved(5);
    std::binary_semaphore release{0};
    saved.beforeWrite = [&release](int index) {
        if (index == 0) {
            EXPECT_TRUE(release.try_acquire_for(std::chrono::seconds(10)));
        }
    };
    bool shown = false;
    QString title, label, labelAfterCancel;
    bool cancelEnabledAfter = true;
    WhenShown<CSaveProgressDlg>([&](CSaveProgressDlg* progress) {
        shown = true;
        title = progress->windowTitle();
        label = progress->Label()->text();
        testsupport::SaveScreenshot(testsupport::Grab(*progress), QStringLiteral("save_progress"));
        QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
        labelAfterCancel = progress->Label()->text();
        cancelEnabledAfter = progress->CancelButton()->isEnabled();
        release.release();
    });
    QElapsedTimer clock;
    clock.start();
    CSaveProgressDlg::Run(nullptr, saved.job);
    EXPECT_TRUE(shown);
    EXPECT_GE(clock.elapsed(), CSaveProgressDlg::kShowDelayMs);
    EXPECT_EQ(title, QStringLiteral("Saving emails"));
    EXPECT_EQ(label, QStringLiteral("Saving email 1 of 5..."));
    EXPECT_EQ(labelAfterCancel, QStringLiteral("Cancelling after the current email..."));
    EXPECT_FALSE(cancelEnabledAfter);
    // The e-mail being written when Cancel came is finished and flushed.
    EXPECT_EQ(saved.written, (std::vector<int>{100}));
    EXPECT_EQ(saved.job.Tally().whole, 1);
    EXPECT_EQ(saved.job.Tally().notTried, 4);
    EXPECT_EQ(saved.flushes, 1);
}

// --- the real dialogs, answered with keys ---------------------------------------------------

// Types `text` where a user types, into the dialog's focused name field, and presses Enter.
static void TypeIntoNameField(QFileDialog* dialog, const QString& text)
{
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    QApplication::setActiveWindow(dialog);
    name->setFocus();
    QTest::keyClicks(name, text);
    QTest::keyClick(name, Qt::Key_Return);
    if (dialog->isVisible())  // the completer's popup took the first Return
        QTest::keyClick(name, Qt::Key_Return);
}

// The open dialog lists mail files in any letter case and takes several; the
// folder chooser is titled and takes a typed folder.
TEST(RealDialogs, TheOpenDialogAndTheFolderChooserTakeWhatIsTyped)
{
    testsupport::TempDir dir;
    for (const char* name : {"Inbox.dbx", "INBOX.DBX", "Sent Items.Dbx", "notes.txt", "dbx"})
        testsupport::WriteFile(dir.File(name), "x");
    QStringList listed;
    QString filterShown;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        dialog->setDirectory(QString::fromStdString(dir.Path().string()));
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->model()->rowCount(view->rootIndex()) >= 3; }, 3000));
        QTest::qWait(50);
        for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
            listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
        if (auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            filterShown = filters->currentText();
        TypeIntoNameField(dialog, QStringLiteral("\"INBOX.DBX\" \"Sent Items.Dbx\""));
    });
    const QStringList chosen = UserDialogs::Default().OpenFiles(nullptr, QStringLiteral(".dbx"));
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"INBOX.DBX", "Inbox.dbx", "Sent Items.Dbx"}));
    EXPECT_EQ(filterShown, QStringLiteral("*.dbx"));
    const QString base = QString::fromStdString(dir.Path().string()) + QLatin1Char('/');
    EXPECT_EQ(chosen, (QStringList{base + "INBOX.DBX", base + "Sent Items.Dbx"}));

    const QString target = QString::fromStdString(dir.File("out"));
    fs::create_directories(target.toStdString());
    QString title;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        TypeIntoNameField(dialog, target);
    });
    EXPECT_EQ(UserDialogs::Default().ChooseFolder(nullptr, res::Text(IDS_SAVE_FOLDER_TITLE)), target);
    EXPECT_EQ(title, QStringLiteral("Select a folder to store the selected emails."));
}
