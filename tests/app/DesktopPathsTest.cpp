// Paths through the desktop program: names that are not text through its
// file dialogs (the desktop's own dialogs show such a name and answer with
// text, in which it has replacement characters; Load and Save find the entry
// on disk that it stands for, or say why they cannot; Qt's own dialog lists
// no such name), and files deeper than a path may be long.

#include "app/CQuillmendDlg.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/DeepFolder.h"
#include "support/FakeDialogs.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <QFile>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

// `path` as a Qt file dialog returns it.
QString AsTheDialogSaysIt(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

class DesktopPathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir.File("runtime"));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.File("runtime")));
        dlg = std::make_unique<CQuillmendDlg>();
        dlg->SetUserDialogs(&dialogs);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void TearDown() override
    {
        dlg.reset();
        qunsetenv("XDG_RUNTIME_DIR");
    }
    std::string Demo(const std::string& name)
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(path));
        return path;
    }
    QTreeWidget& Tree() { return dlg->BrowseWindow().Tree(); }

    testsupport::TempDir dir;
    testsupport::FakeDialogs dialogs;
    std::unique_ptr<CQuillmendDlg> dlg;
};

} // namespace

TEST_F(DesktopPathsTest, LoadOpensANameThatIsNotTextByItsBytesOrSaysWhyItCannot)
{
    const std::string latin1 = Demo("Entw\xFCrfe.dbx");
    const std::string plain = Demo("plain.dbx");
    // Two names that read alike: which one was chosen cannot be told.
    const std::string twin = Demo("a\xFC.dbx");
    Demo("a\xFD.dbx");
    dialogs.filesToOpen = {AsTheDialogSaysIt(latin1), AsTheDialogSaysIt(twin), AsTheDialogSaysIt(plain)};
    ASSERT_TRUE(dialogs.filesToOpen[0].contains(QChar(0xFFFD)));
    dlg->OnLoad();

    QTreeWidgetItem* node = Tree().topLevelItem(Tree().topLevelItemCount() - 1);
    EXPECT_EQ(node->text(0), QString::fromStdString(dir.Path().string()));
    ASSERT_EQ(node->childCount(), 2);
    EXPECT_EQ(node->child(0)->text(0), QStringLiteral("Entw\u00FCrfe"));
    EXPECT_EQ(dlg->BrowseWindow().FilePath(0), latin1);
    EXPECT_EQ(dlg->BrowseWindow().FilePath(1), plain);
    Tree().setCurrentItem(node->child(0));
    EXPECT_EQ(dlg->BrowseWindow().MessageList().GetItemCount(), 11);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].icon, QMessageBox::Warning);
    EXPECT_EQ(dialogs.asked[0].text, res::Text(IDS_LOAD_NAMES_UNCLEAR) + QLatin1Char('\n') + dialogs.filesToOpen[1]);
}

TEST_F(DesktopPathsTest, SaveWritesIntoAFolderWhoseNameIsNotText)
{
    dialogs.filesToOpen = {QString::fromStdString(Demo("Inbox.dbx"))};
    dlg->OnLoad();
    Tree().setCurrentItem(Tree().topLevelItem(Tree().topLevelItemCount() - 1)->child(0));
    dlg->BrowseWindow().MessageList().TickAll();
    const std::string folder = dir.File("Ausg\xE4nge");
    fs::create_directory(folder);
    dialogs.folder = AsTheDialogSaysIt(folder);
    dlg->OnSave();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 11);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].icon, QMessageBox::Information) << dialogs.asked[0].text.toStdString();
}


TEST_F(DesktopPathsTest, AFileDeeperThanAPathMayBeLongOpensFromTheCommandLine)
{
    const std::string mailbox = Demo("Inbox.dbx");
    const testsupport::DeepFolder deep(dir.Path().string(), std::string(250, 'm'), 20);
    ASSERT_EQ(::renameat(AT_FDCWD, mailbox.c_str(), deep.Fd(), "Deep.dbx"), 0);
    const std::string path = deep.path + "/Deep.dbx";
    ASSERT_GT(path.size(), 4096u);
    dlg->OpenFiles({path});
    QTest::qWait(20);
    EXPECT_TRUE(dialogs.asked.empty());
    ASSERT_EQ(dlg->BrowseWindow().FileCount(), 1);
    EXPECT_EQ(dlg->BrowseWindow().FilePath(0), path);
    EXPECT_EQ(dlg->BrowseWindow().MessageList().GetItemCount(), 11);
}
