// The browse window driven as a user drives it: the tree, the first scan,
// the list, the preview files, the splitter; moved e-mails and disk images.

#include "browse/CDbxBrowseWindow.h"
#include "dbx/Carver.h"
#include "dbx/DbxFile.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/FakeDialogs.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "support/WhenShown.h"
#include "tools/dbxgen/CarveImages.h"
#include "tools/dbxgen/DbxImage.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/CMessageListModel.h"
#include "ui/CProgressWnd.h"
#include "ui/ListTestSupport.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QPaintEvent>
#include <QScreen>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// E-mails the scan of the demo mailbox lists.
constexpr int kDemoCount = 11;

class BrowseTest : public testsupport::MainDialogTest {
protected:
    // The demo mailbox as a file; returns its path.
    std::string Demo(const std::string& name = "Inbox.dbx")
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(path));
        return path;
    }
    // Adds `path` under the folder node, made at the first call.
    QTreeWidgetItem* AddFile(const std::string& path)
    {
        if (!folder)
            folder = Browse().AddFolderNode(QStringLiteral("Test folder"));
        Browse().AddDbxFile(folder, path);
        return folder->child(folder->childCount() - 1);
    }
    void Select(QTreeWidgetItem* node)
    {
        Tree().setCurrentItem(node);
        QCoreApplication::processEvents();
    }

    // Waits until the preview folder holds no .mht file, up to 5 s.
    bool NoPreviewFileLeft()
    {
        return QTest::qWaitFor([this] {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(runtime))
                if (entry.path().extension() == ".mht")
                    return false;
            return true;
        }, 5000);
    }

    QTreeWidgetItem* folder = nullptr;
};
using BrowseWindowTest = BrowseTest;

// A right click as the window system delivers it: the press, then the
// context-menu request.
void RightClick(QWidget* viewport, QPoint at)
{
    QTest::mouseClick(viewport, Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &menu);
}

} // namespace

// --- selecting mail files ------------------------------------------------------------

TEST_F(BrowseWindowTest, FirstSelectionScansOnceAndEverySelectionRefillsUnticked)
{
    const std::string path = Demo();
    QTreeWidgetItem* file = AddFile(path);
    QTreeWidgetItem* sameFile = AddFile(path);
    QTreeWidgetItem* missing = AddFile(dir.File("gone.dbx"));
    EXPECT_EQ(file->text(0), QStringLiteral("Inbox"));
    EXPECT_EQ(Browse().FileCount(), 3);
    QSignalSpy scans(&Browse(), &CDbxBrowseWindow::scanStarted);

    Select(file);
    EXPECT_EQ(scans.count(), 1);
    ASSERT_EQ(List().GetItemCount(), kDemoCount);
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:11    Selected Emails:0"));
    Browse().OnCommand(ID_SELECT_ALL);
    EXPECT_EQ(List().GetTickedCount(), kDemoCount);

    // The folder node: an empty list and the start page, which stays,
    // read-only, however often it is shown.
    QSignalSpy shown(&Browse().Preview(), &CEmailPreviewWindow::documentComplete);
    Select(folder);
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:0    Selected Emails:0"));
    ASSERT_TRUE(shown.count() > 0 || shown.wait(5000));
    EXPECT_TRUE(shown.last().at(0).toString().endsWith(QStringLiteral("default.htm")));
    EXPECT_EQ(Browse().GetCurrentDbxFile(), nullptr);
    for (int i = 0; i < 25; ++i) {
        Browse().ShowStartPage();
        QCoreApplication::processEvents();
    }
    const QFileInfo page(QCoreApplication::applicationDirPath() + QStringLiteral("/default.htm"));
    ASSERT_TRUE(page.exists());
    EXPECT_FALSE(page.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));

    Select(file);
    EXPECT_EQ(scans.count(), 1);  // no second scan, no progress window
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    EXPECT_EQ(List().GetTickedCount(), 0);  // ticks are not kept across selections

    // The same file added twice is two nodes, each scanning its own copy.
    Select(sameFile);
    ASSERT_EQ(scans.count(), 2);
    EXPECT_EQ(scans.at(0).at(0).toInt(), 0);
    EXPECT_EQ(scans.at(1).at(0).toInt(), 1);
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    // A file that cannot be opened stays listed, with an empty list.
    Select(missing);
    EXPECT_EQ(List().GetItemCount(), 0);
    ASSERT_NE(Browse().GetCurrentDbxFile(), nullptr);
    EXPECT_FALSE(Browse().GetCurrentDbxFile()->IsOpen());
}

TEST_F(BrowseWindowTest, MoreFilesThanTheDescriptorLimitAllAddedAtOnceAllOpen)
{
    // A search of a backup disk may find more mail files than a process may
    // hold descriptors: none of them may stay closed for that.
    const std::string path = Demo();
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    QTreeWidgetItem* last = nullptr;
    for (int i = 0; i < 300; ++i)
        last = AddFile(path);
    Select(last);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    EXPECT_TRUE(Browse().GetCurrentDbxFile()->IsOpen());
}

TEST_F(BrowseWindowTest, AListMissingMailSaysWhy)
{
    dbxgen::DbxImage flood(1 << 20);
    for (std::uint32_t at = 0; at + 32 <= flood.Size(); at += 32)
        flood.PutLiveBlock(at, "Subject: s\r\n", 0);
    const std::string floodPath = dir.File("Flood.dbx");
    ASSERT_TRUE(flood.WriteTo(floodPath));
    QTreeWidgetItem* hostile = AddFile(floodPath);
    QTreeWidgetItem* demo = AddFile(Demo());
    Select(hostile);
    EXPECT_EQ(Browse().ListIncompleteNote(), IDS_LIST_INCOMPLETE);
    EXPECT_TRUE(dlg->HintText().startsWith(QStringLiteral("List incomplete")));
    Select(demo);
    EXPECT_EQ(Browse().ListIncompleteNote(), 0);
    EXPECT_EQ(dlg->HintText(), res::Text(IDS_NOTICE));

    // A file cut after it was added and before its first scan.
    const std::string cutPath = dir.File("Cut.dbx");
    std::filesystem::copy_file(Demo(), cutPath);
    QTreeWidgetItem* cut = AddFile(cutPath);
    ASSERT_EQ(::truncate(cutPath.c_str(), 20000), 0);
    Select(cut);
    EXPECT_EQ(Browse().ListIncompleteNote(), IDS_LIST_CUT_SHORT);
    EXPECT_EQ(dlg->HintText(), res::Text(IDS_LIST_CUT_SHORT));
    EXPECT_LT(List().GetItemCount(), kDemoCount);
}

// --- ticking from the popup menu --------------------------------------------------------

TEST_F(BrowseWindowTest, PopupMenuTicksGroupsOfEmailsAndNothingOnAnEmptyList)
{
    // A right click anywhere opens the menu.
    QStringList texts;
    testsupport::WhenShown<QMenu>([&texts](QMenu* menu) {
        for (const QAction* a : menu->actions())
            texts << a->text();
        menu->close();
    });
    RightClick(List().viewport(), QPoint(30, 30));
    EXPECT_EQ(texts, (QStringList{"Select all", "Deselect all", "", "Select all existing emails",
                                  "Select all deleted emails", "", "Save ticked e-mails as one mbox file\u2026", "",
                                  "Save all attachments of this e-mail\u2026", "Save attachments of ticked e-mails\u2026"}));
    Browse().OnCommand(ID_SELECT_ALL);
    EXPECT_EQ(List().GetTickedCount(), 0);

    Select(AddFile(Demo()));
    testsupport::WhenShown<QMenu>([](QMenu* menu) {  // "Select all"
        menu->setActiveAction(menu->actions().first());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    RightClick(List().viewport(), QPoint(300, 5));
    EXPECT_EQ(List().GetTickedCount(), kDemoCount);
    EXPECT_TRUE(dlg->CountsText().endsWith(QStringLiteral("Selected Emails:11")));

    Browse().OnCommand(ID_SELECT_EXISTING);
    for (int i = 0; i < List().GetItemCount(); ++i)
        EXPECT_EQ(List().IsTicked(i) != 0, !List().GetRow(i)->record->isDeleted) << i;
    Browse().OnCommand(ID_SELECT_DELETED);
    for (int i = 0; i < List().GetItemCount(); ++i)
        EXPECT_EQ(List().IsTicked(i) != 0, List().GetRow(i)->record->isDeleted) << i;
    Browse().OnCommand(ID_DESELECT_ALL);
    EXPECT_EQ(List().GetTickedCount(), 0);
}

// --- preview files ------------------------------------------------------------------------

TEST_F(BrowseWindowTest, EveryRowReachedWithTheArrowKeysIsPreviewedAndNoFileStays)
{
    Select(AddFile(Demo()));
    List().setFocus();
    List().setCurrentIndex(List().model()->index(0, 1));
    QCoreApplication::processEvents();
    ASSERT_FALSE(Browse().PreviewFile().empty());
    QSignalSpy shown(&Browse().Preview(), &CEmailPreviewWindow::documentComplete);
    for (int row = 1; row < kDemoCount; ++row) {
        QCoreApplication::processEvents();  // the last file shown (and deleted)
        QTest::keyClick(&List(), Qt::Key_Down);
        const std::string now = Browse().PreviewFile();
        EXPECT_TRUE(std::filesystem::exists(now)) << "written before it is shown: " << now;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), kDemoCount - 1);
    EXPECT_TRUE(NoPreviewFileLeft());
    EXPECT_EQ(List().currentIndex().row(), kDemoCount - 1);
}

TEST_F(BrowseWindowTest, PreviewFileHoldsTheEmailAsSaveWritesItInAPrivateFolderAndGoesWhenTheWindowCloses)
{
    Select(AddFile(Demo()));
    const ListRow* deletedRow = List().GetRow(0);
    ASSERT_TRUE(deletedRow->record->isDeleted);
    // Stop the pane from loading (and so deleting) the file: show it directly.
    Browse().ShowPreview(*Browse().GetCurrentDbxFile(), *deletedRow);
    const std::string written = testsupport::ReadFile(Browse().PreviewFile());
    std::string expected;
    ASSERT_TRUE(Browse().GetCurrentDbxFile()->ReadMessage(deletedRow->messageIndex, expected));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(written.substr(0, 4), "    ");
    EXPECT_TRUE(NoPreviewFileLeft());
    // The pane was told where the bytes were overwritten: it says so, and
    // reads the e-mail around them.
    const QString shown = Browse().Preview().toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Deleted e-mail: 4 bytes of every 512"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Your account statement for November")));
    Browse().ShowPreview(*Browse().GetCurrentDbxFile(), *List().GetRow(kDemoCount - 1));
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return !Browse().Preview().toPlainText().contains(QStringLiteral("Deleted e-mail")); }, 5000));

    // Closing deletes the last preview file, even before the pane has loaded (and deleted) it.
    Browse().ShowPreview(*Browse().GetCurrentDbxFile(), *List().GetRow(3));
    const std::string preview = Browse().PreviewFile();
    ASSERT_TRUE(std::filesystem::exists(preview));
    EXPECT_TRUE(preview.starts_with(runtime)) << preview;
    dlg.reset();
    EXPECT_FALSE(std::filesystem::exists(preview));

    // Without a runtime folder, they go to the temporary folder.
    qunsetenv("XDG_RUNTIME_DIR");
    dlg = std::make_unique<CQuillmendDlg>();
    folder = nullptr;
    Select(AddFile(Demo()));
    Browse().ShowPreview(*Browse().GetCurrentDbxFile(), *List().GetRow(3));
    EXPECT_TRUE(Browse().PreviewFile().starts_with(std::filesystem::temp_directory_path().string()))
        << Browse().PreviewFile();
}

// --- the status line ----------------------------------------------------------------------

namespace {

// Collects what a widget repaints.
class PaintWatcher : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TEST_F(BrowseWindowTest, TheStatusLineCountsTheListAndATickClickRepaintsIt)
{
    const std::vector<dbx::EmailRecord> records{listtest::Record("a@x", "me", "one", 0),
                                                listtest::Record("b@x", "me", "two", 0, false, true),
                                                listtest::Record("c@x", "me", "three", 0)};
    listtest::Fill(List(), records);
    EXPECT_EQ(dlg->CountsText(), "All Emails:3    Selected Emails:0");
    // Focus moves first: a button losing it repaints the status line too.
    List().setFocus();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    PaintWatcher watcher;
    dlg->installEventFilter(&watcher);
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, QPoint(8, List().rowViewportPosition(1) + List().rowHeight(1) / 2));
    EXPECT_EQ(dlg->CountsText(), "All Emails:3    Selected Emails:1");
    QCoreApplication::processEvents();  // the posted notification, then the paint
    QCoreApplication::processEvents();
    EXPECT_TRUE(watcher.painted.contains(dlg->StatusStripRect())) << "status strip not repainted";
    dlg->removeEventFilter(&watcher);

    List().TickAll();
    EXPECT_EQ(dlg->CountsText(), "All Emails:3    Selected Emails:3");
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(*dlg), "main_dialog_with_list").isEmpty());
}

// --- the splitter -------------------------------------------------------------------------

namespace {

void Send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, w.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

} // namespace

TEST_F(BrowseWindowTest, PanesFollowTheLayoutAndTheSplitterDragsWithinItsLimits)
{
    CDbxBrowseWindow& browse = Browse();
    const int R = browse.width(), B = browse.height(), b2 = B / 2;
    ASSERT_EQ(browse.SplitX(), 200);
    EXPECT_EQ(browse.Tree().geometry(), QRect(1, 0, 199, B));
    EXPECT_EQ(browse.MessageList().geometry(), QRect(203, 0, R - 1 - 203, b2));
    EXPECT_EQ(browse.Preview().geometry(), QRect(203, b2 + 2, R - 1 - 203, B - (b2 + 2)));
    EXPECT_EQ(browse.SplitterGrip().geometry(), QRect(200, 0, 3, B));

    Send(browse, QEvent::MouseButtonPress, QPoint(201, 40), Qt::LeftButton);
    Send(browse, QEvent::MouseMove, QPoint(10, 40), Qt::LeftButton);
    EXPECT_EQ(browse.SplitX(), 50);
    EXPECT_EQ(browse.Tree().geometry(), QRect(1, 0, 49, B));
    Send(browse, QEvent::MouseMove, QPoint(R + 100, 40), Qt::LeftButton);
    EXPECT_EQ(browse.SplitX(), R - 51);
    Send(browse, QEvent::MouseMove, QPoint(300, 40), Qt::LeftButton);
    EXPECT_EQ(browse.SplitX(), 300);
    EXPECT_EQ(browse.MessageList().geometry().left(), 303);
    EXPECT_EQ(browse.Preview().geometry().left(), 303);
    Send(browse, QEvent::MouseButtonRelease, QPoint(300, 40), Qt::NoButton);
    Send(browse, QEvent::MouseMove, QPoint(100, 40), Qt::NoButton);
    EXPECT_EQ(browse.SplitX(), 300);  // released: moving no longer drags

    // A press right of the gap (where the list is) does not take the splitter.
    Send(browse, QEvent::MouseButtonPress, QPoint(350, 40), Qt::LeftButton);
    Send(browse, QEvent::MouseMove, QPoint(120, 40), Qt::LeftButton);
    EXPECT_EQ(browse.SplitX(), 300);
    Send(browse, QEvent::MouseButtonRelease, QPoint(120, 40), Qt::NoButton);
}

TEST_F(BrowseWindowTest, OnlyTheSplitterShowsTheSizingCursor)
{
    CDbxBrowseWindow& browse = Browse();
    QWidget& grip = browse.SplitterGrip();
    EXPECT_EQ(grip.cursor().shape(), Qt::SizeHorCursor);
    // Hover over the gap, then drag the grip 100 px to the right.
    Send(browse, QEvent::MouseMove, QPoint(201, 10), Qt::NoButton);
    Send(grip, QEvent::MouseButtonPress, QPoint(1, 40), Qt::LeftButton);
    Send(grip, QEvent::MouseMove, QPoint(100, 40), Qt::LeftButton);
    Send(grip, QEvent::MouseButtonRelease, QPoint(100, 40), Qt::NoButton);
    EXPECT_EQ(browse.SplitX(), 300);
    EXPECT_EQ(grip.geometry().left(), 300);
    Send(browse, QEvent::MouseMove, QPoint(301, 10), Qt::NoButton);

    const QWidget* panes[] = {&browse, &browse.Tree(), browse.Tree().viewport(), browse.MessageList().viewport(),
                              browse.MessageList().horizontalHeader()->viewport(), browse.Preview().viewport()};
    for (const QWidget* pane : panes)
        EXPECT_NE(pane->cursor().shape(), Qt::SizeHorCursor) << pane->objectName().toStdString();
}

// --- the first scan -----------------------------------------------------------------------

TEST_F(BrowseWindowTest, TheFirstScanShowsItsProgressAndRunsNoOtherHandlerInside)
{
    QTreeWidgetItem* file = AddFile(Demo());
    std::vector<std::string> order;
    bool progressOnScreen = false;
    QObject::connect(&Browse(), &CDbxBrowseWindow::scanStarted, [&] {
        order.push_back("scan");
        // What the screen shows where the progress window is, while the scan
        // holds the thread: the window as it paints itself.
        auto* progress = dlg->findChild<CProgressWnd*>();
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(progress->isVisible());
        const QPoint at = progress->mapToGlobal(QPoint(0, 0));
        const QImage screen = progress->screen()
                                  ->grabWindow(0, at.x(), at.y(), progress->width(), progress->height())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        progressOnScreen = screen == testsupport::Grab(*progress);
        testsupport::SaveScreenshot(testsupport::Grab(*dlg), "scan_progress_" + QGuiApplication::platformName());
    });
    // Due while the progress window is being shown: must wait for the
    // selection's handler to end.
    QTimer::singleShot(0, [&] { order.push_back("timer"); });
    QMetaObject::invokeMethod(dlg.get(), [&] { order.push_back("queued call"); }, Qt::QueuedConnection);

    Tree().setCurrentItem(file);
    order.push_back("handler returned");
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 4; }, 5000)) << order.size();
    EXPECT_EQ(order[0], "scan");
    EXPECT_EQ(order[1], "handler returned");
    EXPECT_TRUE(progressOnScreen) << QGuiApplication::platformName().toStdString();
    EXPECT_EQ(dlg->findChild<CProgressWnd*>(), nullptr);
}

// --- files named on the command line ------------------------------------------------------

TEST_F(BrowseWindowTest, FilesFromTheCommandLineGoUnderOneNodeAndTheFirstIsShown)
{
    testsupport::FakeDialogs dialogs;
    dlg->SetUserDialogs(&dialogs);
    std::filesystem::create_directories(dir.File("mail"));
    // A Latin-1 name from an old disk: opened by its bytes, shown as text.
    const std::string a = Demo("mail/Inbox.dbx");
    const std::string b = Demo("mail/Entw\xFCrfe.dbx");
    const std::string missing = dir.File("mail/Gone\xFF.dbx");
    const std::string mailFolder = dir.File("mail");
    dlg->OpenFiles({a, missing, mailFolder, b});
    ASSERT_TRUE(QTest::qWaitFor([&] { return List().GetItemCount() > 0 && !dialogs.asked.empty(); }, 5000));
    // After the store's node, which the dialog adds at start.
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Tree().topLevelItem(0)->text(0), QStringLiteral("Outlook Express - Local Folder"));
    QTreeWidgetItem* node = Tree().topLevelItem(1);
    EXPECT_EQ(node->text(0), QString::fromStdString(mailFolder));
    ASSERT_EQ(node->childCount(), 2);
    EXPECT_EQ(node->child(1)->text(0), QStringLiteral("Entw\u00FCrfe"));
    EXPECT_EQ(Browse().FilePath(Browse().FileCount() - 1), b);
    EXPECT_TRUE(node->isExpanded());
    EXPECT_EQ(Tree().currentItem(), node->child(0));
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    Select(node->child(1));
    EXPECT_EQ(List().GetItemCount(), kDemoCount);
    // The paths that are not mail files are named, and only they.
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].icon, QMessageBox::Warning);
    EXPECT_EQ(dialogs.asked[0].text, res::Text(IDS_FILES_NOT_FOUND) + QLatin1Char('\n') +
                                         QString::fromStdString(dir.File("mail/Gone\u00FF.dbx")) + QLatin1Char('\n') +
                                         QString::fromStdString(mailFolder));

    dlg->OpenFiles({missing});  // nothing to add: no node, only the message
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.asked.size() == 2; }, 5000));
    EXPECT_EQ(Tree().topLevelItemCount(), 2);
}

// --- mail the scan does not place ---------------------------------------------------------

namespace {

class LostMailTest : public BrowseTest {
protected:
    // Writes `bytes` as the mail file `name` and adds it.
    QTreeWidgetItem* AddFile(const std::string& name, const std::string& bytes)
    {
        testsupport::WriteFile(dir.File(name), bytes);
        return BrowseTest::AddFile(dir.File(name));
    }
    // Waits until no search for moved e-mails runs and its end is handled.
    void SearchesEnded()
    {
        QTRY_COMPARE_WITH_TIMEOUT(Browse().MovedSearch().Running(), -1, 20000);
        QCoreApplication::processEvents();
    }
    QString Status(int row) { return List().Model()->CellText(*List().GetRow(row), CMessageListModel::kColumnStatus); }
};

} // namespace

TEST_F(LostMailTest, MovedEmailsFollowTheScansRowsOnceKeepingTicksAndSelection)
{
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted kind" : "live kind");
        const auto moved = dbxgen::MakeMovedEmailFile(51, {deleted, false});
        QTreeWidgetItem* node = AddFile(deleted ? "MovedDeleted.dbx" : "Moved.dbx", moved.file.bytes);
        QSignalSpy added(&Browse(), &CDbxBrowseWindow::movedEmailsAdded);
        // Held, as while a save reads the file: the rows wait.
        Browse().HoldChanges(true);
        Select(node);
        const int scanned = List().GetItemCount();
        List().ToggleTick(0);
        List().setCurrentIndex(List().model()->index(1, 1));
        SearchesEnded();
        EXPECT_EQ(added.count(), 0);
        EXPECT_EQ(List().GetItemCount(), scanned);
        Browse().HoldChanges(false);
        ASSERT_EQ(added.count(), 1);
        EXPECT_EQ(added.front().at(1).toInt(), 1);

        ASSERT_EQ(List().GetItemCount(), scanned + 1);
        EXPECT_EQ(Browse().GetCurrentDbxFile()->ScanCount(), scanned);
        EXPECT_EQ(List().IsTicked(0), 1);
        EXPECT_EQ(List().currentIndex().row(), 1);
        EXPECT_EQ(List().GetRow(scanned)->record->subject, moved.movedSubject);
        EXPECT_EQ(Status(scanned), res::Text(deleted ? IDS_STATUS_MOVED_DELETED : IDS_STATUS_MOVED));
        for (int i = 0; i <= scanned; ++i)
            EXPECT_EQ(List().GetRow(i)->record, Browse().GetCurrentDbxFile()->GetAt(i)) << i;

        // Shown again: listed at once, not looked for again.
        Select(folder);
        Select(node);
        EXPECT_EQ(List().GetItemCount(), scanned + 1);
        EXPECT_EQ(Browse().MovedSearch().Running(), -1);
        SearchesEnded();
        EXPECT_EQ(added.count(), 1);
    }
}

TEST_F(LostMailTest, AnotherFilesFirstScanStopsTheSearchWhichRunsAgainWhenTheFileIsShown)
{
    const auto moved = dbxgen::MakeMovedEmailFile(52);
    QTreeWidgetItem* a = AddFile("Moved.dbx", moved.file.bytes);
    QTreeWidgetItem* b = BrowseTest::AddFile(Demo());
    QSignalSpy added(&Browse(), &CDbxBrowseWindow::movedEmailsAdded);

    Tree().setCurrentItem(a);
    const int scanned = List().GetItemCount();
    EXPECT_EQ(Browse().MovedSearch().Running(), 0);
    Tree().setCurrentItem(b);  // its first scan: the search of a stops
    SearchesEnded();
    EXPECT_EQ(added.count(), 0);  // nothing moved in b, and a's search was stopped

    Select(a);
    SearchesEnded();
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.front().at(0).toInt(), 0);
    EXPECT_EQ(List().GetItemCount(), scanned + 1);
}

TEST_F(LostMailTest, AnImagesMailFilesAreListedUnderItsNodeAndReadFromIt)
{
    const auto files = dbxgen::MakeMailFiles(2, 60 * 1024, 53);
    std::string bytes(8192, '\0');
    bytes += files[0].bytes;
    bytes.resize(1u << 20, '\0');
    bytes += files[1].bytes;
    const std::string image = dir.File("disk.img");
    testsupport::WriteFile(image, bytes);
    auto carver = std::make_unique<dbx::Carver>();
    ASSERT_TRUE(carver->Open(image));
    dbx::ICarveProgress quiet;
    carver->Run(quiet);
    ASSERT_EQ(carver->Files().size(), 2u);
    std::vector<const dbx::DbxFile*> found;
    for (const auto& f : carver->Files())
        found.push_back(&f->File());

    const int before = Browse().FileCount();
    QTreeWidgetItem* node = Browse().AddCarvedImage(QStringLiteral("disk.img"), image, std::move(carver));
    ASSERT_EQ(node->childCount(), 2);
    EXPECT_EQ(Browse().FileCount(), before + 2);
    QSignalSpy scans(&Browse(), &CDbxBrowseWindow::scanStarted);
    const char* const where[] = {"at 8.0 kB \u2014 ", "at 1.0 MB \u2014 "};
    for (int n = 0; n < 2; ++n) {
        QTreeWidgetItem* file = node->child(n);
        const int count = found[static_cast<std::size_t>(n)]->GetCount();
        EXPECT_EQ(file->text(0), QString::fromUtf8(where[n]) + QString::number(count) + QStringLiteral(" emails, 2002"));
        EXPECT_TRUE(file->toolTip(0).contains(QStringLiteral("disk.img")));
        EXPECT_EQ(Browse().FilePath(before + n), image);
        Select(file);
        EXPECT_EQ(Browse().GetCurrentDbxFile(), found[static_cast<std::size_t>(n)]);
        EXPECT_EQ(List().GetItemCount(), count);
    }
    EXPECT_EQ(scans.count(), 0);  // read when the image was: nothing to scan
    SearchesEnded();              // and nothing to look for in moved blocks
    EXPECT_EQ(List().GetItemCount(), found[1]->GetCount());
}
