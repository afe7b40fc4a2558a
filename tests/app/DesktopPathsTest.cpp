// Paths through the desktop program: names that are not text, as the file
// dialogs answer them (with replacement characters), and files deeper than
// a path may be long.

#include "res/Strings.h"
#include "res/resource.h"
#include "support/DeepFolder.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <QFile>

namespace fs = std::filesystem;

namespace {

// `path` as a Qt file dialog returns it.
QString AsTheDialogSaysIt(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

class DesktopPathsTest : public testsupport::MainDialogFakesTest {
protected:
    std::string Demo(const std::string& name)
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(path));
        return path;
    }
};

} // namespace

TEST_F(DesktopPathsTest, LoadAndSaveUseNamesThatAreNotTextByTheirBytesOrSayWhyTheyCannot)
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
    EXPECT_EQ(Browse().FilePath(0), latin1);
    EXPECT_EQ(Browse().FilePath(1), plain);
    Tree().setCurrentItem(node->child(0));
    EXPECT_EQ(List().GetItemCount(), 11);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].icon, QMessageBox::Warning);
    EXPECT_EQ(dialogs.asked[0].text, res::Text(IDS_LOAD_NAMES_UNCLEAR) + QLatin1Char('\n') + dialogs.filesToOpen[1]);

    // Saved into a folder whose name is not text either.
    List().TickAll();
    const std::string folder = dir.File("Ausg\xE4nge");
    fs::create_directory(folder);
    dialogs.folder = AsTheDialogSaysIt(folder);
    dlg->OnSave();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 11);
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Information) << LastMessage().text.toStdString();
}

TEST_F(DesktopPathsTest, AFileDeeperThanAPathMayBeLongOpensFromTheCommandLine)
{
    const std::string mailbox = Demo("Inbox.dbx");
    const testsupport::DeepFolder deep(dir.Path().string(), std::string(250, 'm'), 20);
    ASSERT_EQ(::renameat(AT_FDCWD, mailbox.c_str(), deep.Fd(), "Deep.dbx"), 0);
    const std::string path = deep.path + "/Deep.dbx";
    ASSERT_GT(path.size(), 4096u);
    dlg->OpenFiles({path});
    EXPECT_TRUE(QTest::qWaitFor([this] { return List().GetItemCount() == 11; }, 5000));
    EXPECT_TRUE(dialogs.asked.empty());
    ASSERT_EQ(Browse().FileCount(), 1);
    EXPECT_EQ(Browse().FilePath(0), path);
}
