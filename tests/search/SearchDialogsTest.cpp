// The two search dialogs and the main dialog's Search command, driven as a
// user drives them, on generated folder trees.

#include "app/CQuillmendDlg.h"
#include "platform/Mounts.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "search/CSearchDbxDlg.h"
#include "search/CSearchDbxSettingDlg.h"
#include "search/SearchPaths.h"
#include "support/FakeDialogs.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"

#include "TreeMaker.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

using testsupport::MakeTree;
using testsupport::TempDir;

namespace {

template <typename T>
T* Shown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

QStringList Texts(const QList<QWidget*>& widgets)
{
    QStringList texts;
    for (QWidget* w : widgets) {
        if (auto* button = qobject_cast<QPushButton*>(w))
            texts << button->text();
        else if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            texts << group->title();
    }
    return texts;
}

// Runs `act` the first time the search adds a node to the tree, that is,
// in the middle of the search.
void DuringSearch(QTreeWidget& tree, std::function<void()> act)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(tree.model(), &QAbstractItemModel::rowsInserted, [connection, act] {
        QObject::disconnect(*connection);
        act();
    });
}

struct Node {
    QString text;
    QStringList files;
    bool operator==(const Node&) const = default;
};

// The nodes a search added: the tree's, after the store's node that the main
// dialog adds at start.
constexpr int kFirstFound = 1;

std::vector<Node> Nodes(QTreeWidget& tree)
{
    std::vector<Node> nodes;
    for (int i = kFirstFound; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* folder = tree.topLevelItem(i);
        Node node{folder->text(0), {}};
        for (int k = 0; k < folder->childCount(); ++k)
            node.files << folder->child(k)->text(0);
        nodes.push_back(node);
    }
    return nodes;
}

class SearchTest : public testsupport::MainDialogTest {
protected:
    void SetUp() override
    {
        root = QString::fromStdString(dir.File("disk"));
        // Two real mailboxes and an empty one, in folders a search must enter.
        MakeTree(dir.File("disk"), {"Local Settings.old/Identities/Empty.dbx", "Backup.2008/", "nothing/here.txt"});
        ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(dir.File("disk/Backup.2008/Inbox.dbx")));
        ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(dir.File("disk/Backup.2008/Sent Items.DBX")));
        MainDialogTest::SetUp();
    }

    // What a search of `root` adds.
    std::vector<Node> Expected() const
    {
        return {{root + "/Backup.2008", {"Inbox", "Sent Items"}},
                {root + "/Local Settings.old/Identities", {"Empty"}}};
    }

    QString root;
};

} // namespace

// --- the settings dialog -------------------------------------------------------------

TEST(SearchSettingDialog, OffersTheDrivesAndEndsWithSearchNow)
{
    CSearchDbxSettingDlg settings;
    settings.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
    EXPECT_EQ(settings.windowTitle(), QStringLiteral("Search for *.dbx files"));
    EXPECT_EQ(settings.size(), QSize(353, 244));  // 235 x 150 dialog units
    EXPECT_EQ(Texts(settings.findChildren<QWidget*>()),
              (QStringList{"Look in harddrives:", "Select a path to search: ", "&Search Now", "&Browse", "&Cancel"}));
    EXPECT_EQ(settings.DriveList().toStdString(), search::DriveListText(platform::LogicalDriveRoots()));
    EXPECT_TRUE(settings.DriveList().startsWith(QStringLiteral("/;")));
    EXPECT_EQ(settings.findChild<QLineEdit*>(QStringLiteral("edit_1002")), &settings.DriveListEdit());
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(settings), "search_setting_dialog").isEmpty());

    // The last entry counts, and no entry loses its last character.
    settings.DriveListEdit().setText(QStringLiteral("/mnt/win/;/home/me/Mail"));
    QTest::keyClick(&settings.DriveListEdit(), Qt::Key_Return);  // Search Now is the default
    EXPECT_EQ(settings.result(), QDialog::Accepted);
    EXPECT_FALSE(settings.isVisible());
    EXPECT_EQ(settings.SearchPaths(), (std::vector<std::string>{"/mnt/win", "/home/me/Mail"}));
    EXPECT_TRUE(settings.FromDriveList());
}

TEST(SearchSettingDialog, BrowseEndsOnlyWithAFolder)
{
    CSearchDbxSettingDlg settings;
    QString answer;
    QStringList asked;
    settings.SetFolderPicker([&](QWidget* owner, const QString& title) {
        EXPECT_EQ(owner, nullptr);
        asked << title;
        return answer;
    });
    settings.show();
    settings.BrowseButton().click();  // cancelled: the dialog stays
    EXPECT_TRUE(settings.isVisible());
    EXPECT_TRUE(settings.SearchPaths().empty());
    // A folder whose name is not text reaches the picker's caller with
    // replacement characters, as Qt reads it; its own bytes are searched.
    TempDir dir;
    const std::string latin1 = dir.File("Entw\xFCrfe");
    std::filesystem::create_directory(latin1);
    answer = QFile::decodeName(QByteArray::fromStdString(latin1));
    ASSERT_TRUE(answer.contains(QChar(0xFFFD)));
    settings.BrowseButton().click();
    EXPECT_EQ(asked, QStringList(2, res::Text(IDS_SEARCH_FOLDER_TITLE)));
    EXPECT_EQ(settings.result(), QDialog::Accepted);
    EXPECT_EQ(settings.SearchPaths(), std::vector<std::string>{latin1});
    EXPECT_FALSE(settings.FromDriveList());
}

// F1 is taken by both dialogs, so that no help opens and no other window
// hears it; any other key has its usual meaning: Escape closes the dialog.
TEST(SearchDialogs, F1DoesNothingAndEscapeCloses)
{
    CDbxBrowseWindow browse;
    CSearchDbxDlg progress(browse, nullptr);
    CSearchDbxSettingDlg settings;
    for (QDialog* dialog : {static_cast<QDialog*>(&progress), static_cast<QDialog*>(&settings)}) {
        SCOPED_TRACE(dialog->metaObject()->className());
        dialog->show();
        QKeyEvent help(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(dialog, &help);
        EXPECT_TRUE(help.isAccepted());
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

// --- the search ------------------------------------------------------------------------

TEST(SearchProgressDialog, ALongPathBreaksAfterSeparatorsAndKeepsItsEnd)
{
    CDbxBrowseWindow browse;
    CSearchDbxDlg progress(browse, nullptr);
    QString deep;
    for (int i = 0; i < 30; ++i)
        deep += QStringLiteral("/Folder.%1").arg(i);
    EXPECT_FALSE(progress.SearchDirectory(deep.toStdString()));  // not shown: cancelled
    EXPECT_EQ(progress.CurrentPath(), deep);
    // As many lines as the label holds: the first, an ellipsis, the end.
    const QLabel& label = progress.PathLabel();
    const QStringList lines = label.text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), label.height() / label.fontMetrics().lineSpacing());
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("/Folder.0/Folder.1/")));
    EXPECT_TRUE(lines[0].endsWith(QLatin1Char('/')));
    EXPECT_TRUE(lines[1].startsWith(QChar(0x2026)));
    EXPECT_TRUE((lines[lines.size() - 2] + lines.back()).endsWith(QStringLiteral("/Folder.28/Folder.29")));
    for (const QString& line : lines)
        EXPECT_LE(label.fontMetrics().horizontalAdvance(line), label.width());
}

TEST_F(SearchTest, FoundFilesGoUnderOneCollapsedNodePerFolderAndAgainOnTheNextSearch)
{
    RunSearch({root.toStdString()}, false, dlg->BrowseWindow());
    EXPECT_EQ(Nodes(Tree()), Expected());
    for (int i = kFirstFound; i < Tree().topLevelItemCount(); ++i)
        EXPECT_FALSE(Tree().topLevelItem(i)->isExpanded());
    EXPECT_EQ(Tree().currentItem(), nullptr);
    EXPECT_EQ(dlg->BrowseWindow().FileCount(), 3);
    EXPECT_EQ(Shown<CSearchDbxDlg>(), nullptr);  // the progress window is gone
    const QImage shot = testsupport::Grab(*dlg);
    EXPECT_FALSE(testsupport::SaveScreenshot(shot, "search_tree_after").isEmpty());

    // The found files open: selecting one lists its e-mails.
    Tree().topLevelItem(kFirstFound)->setExpanded(true);
    Tree().setCurrentItem(Tree().topLevelItem(kFirstFound)->child(0));
    EXPECT_GT(dlg->BrowseWindow().MessageList().GetItemCount(), 0);

    // A second search adds the same folders again.
    RunSearch({root.toStdString() + "/Backup.2008"}, false, dlg->BrowseWindow());
    ASSERT_EQ(Tree().topLevelItemCount(), kFirstFound + 3);
    EXPECT_EQ(Nodes(Tree())[2], Expected()[0]);
}

TEST_F(SearchTest, CancelKeepsWhatWasFoundAndEndsEveryRemainingPath)
{
    QString shownPath;
    DuringSearch(Tree(), [&] {
        CSearchDbxDlg* progress = Shown<CSearchDbxDlg>();
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(progress->windowTitle(), QStringLiteral("Search for *.dbx files"));
        EXPECT_EQ(progress->size(), QSize(411, 150));  // 274 x 92 dialog units
        EXPECT_EQ(progress->parentWidget(), dlg.get());
        const QStringList texts = Texts(progress->findChildren<QWidget*>());
        EXPECT_TRUE(texts.contains(QStringLiteral("Searching path:")) && texts.contains(QStringLiteral("&Cancel")));
        shownPath = progress->CurrentPath();
        // The label shows a directory of this search (the latest, or one
        // just before it when the walk runs fast).
        const QString label = progress->PathLabel().text().remove(QLatin1Char('\n'));
        EXPECT_TRUE(label == root || label == shownPath) << label.toStdString();
        EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(*progress), "search_progress_dialog").isEmpty());
        progress->CancelButton().click();
    });
    RunSearch({root.toStdString(), root.toStdString()}, false, dlg->BrowseWindow());
    EXPECT_EQ(shownPath, root + "/Backup.2008");
    // The folder being searched at the Cancel is finished; nothing after it.
    EXPECT_EQ(Nodes(Tree()), std::vector<Node>{Expected()[0]});
}

// Names that are not text are opened by their bytes; a folder that cannot
// be read is told once the search ends.
TEST_F(SearchTest, SearchCommandDisablesTheCommandsAndTheCloseBoxMeanwhileAndTellsWhatItCouldNotRead)
{
    testsupport::FakeDialogs dialogs;
    dlg->SetUserDialogs(&dialogs);
    const std::string folder = dir.File("disk/Entw\xFCrfe");
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(folder + "/Alt\xFF.dbx"));
    CMainButton* save = dlg->Button(IDC_BUTTON_SAVE);
    CMainButton* load = dlg->Button(IDC_BUTTON_LOAD);
    CMainButton* searchButton = dlg->Button(IDC_BUTTON_SEARCH);
    CMainButton* help = dlg->Button(IDC_BUTTON_HELP);
    bool checked = false;
    DuringSearch(Tree(), [&] {
        checked = true;
        EXPECT_FALSE(save->isEnabled());
        EXPECT_FALSE(load->isEnabled());
        EXPECT_FALSE(searchButton->isEnabled());
        EXPECT_TRUE(help->isEnabled());
        dlg->close();  // the close box: refused without a question
        QTest::keyClick(dlg.get(), Qt::Key_Return);  // Enter: refused too
        EXPECT_TRUE(dlg->isVisible());
    });
    QTimer::singleShot(0, [&] {
        CSearchDbxSettingDlg* settings = Shown<CSearchDbxSettingDlg>();
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->parentWidget(), dlg.get());
        settings->DriveListEdit().setText(root + QStringLiteral("/;") + root + QStringLiteral("/gone;"));
        settings->SearchNowButton().click();
    });
    searchButton->click();
    EXPECT_TRUE(checked);
    std::vector<Node> expected = Expected();
    expected.insert(expected.begin() + 1, {root + QStringLiteral("/Entw\u00FCrfe"), {QStringLiteral("Alt\u00FF")}});
    EXPECT_EQ(Nodes(Tree()), expected);
    for (CMainButton* button : {save, load, searchButton, help})
        EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->BrowseWindow().FilePath(2), folder + "/Alt\xFF.dbx");
    Tree().setCurrentItem(Tree().topLevelItem(kFirstFound + 1)->child(0));
    EXPECT_EQ(dlg->BrowseWindow().MessageList().GetItemCount(), 11);
    // The missing entry counts as a folder that could not be read.
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].icon, QMessageBox::Warning);
    EXPECT_EQ(dialogs.asked[0].text, res::Format(IDS_SEARCH_UNREADABLE, {QStringLiteral("1")}) + QLatin1Char('\n') +
                                         root + QStringLiteral("/gone: No such file or directory"));

    // A search that reads everything tells nothing; cancelling the question searches nothing.
    QTimer::singleShot(0, [&] {
        Shown<CSearchDbxSettingDlg>()->DriveListEdit().setText(root + QStringLiteral("/Backup.2008"));
        Shown<CSearchDbxSettingDlg>()->SearchNowButton().click();
    });
    searchButton->click();
    EXPECT_EQ(Tree().topLevelItemCount(), kFirstFound + 4);
    QTimer::singleShot(0, [] { Shown<CSearchDbxSettingDlg>()->CancelButton().click(); });
    searchButton->click();
    EXPECT_EQ(Tree().topLevelItemCount(), kFirstFound + 4);
    EXPECT_EQ(dialogs.asked.size(), 1u);
}
