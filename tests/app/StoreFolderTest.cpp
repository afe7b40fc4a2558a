// The main dialog lists the user's Outlook Express store at start: one
// folder node, expanded, with the store's mail files under it, unscanned.

#include "app/CQuillmendDlg.h"

#include "res/Strings.h"
#include "res/resource.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "support/TestPrefix.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::RegKey;
using testsupport::StoreRootKey;
using testsupport::WriteFile;

namespace {

const QString kStoreNode = QStringLiteral("Outlook Express - Local Folder");

QStringList Children(const QTreeWidgetItem& node)
{
    QStringList names;
    for (int i = 0; i < node.childCount(); ++i)
        names << node.child(i)->text(0);
    return names;
}

// The dialog of the fixture, made before the test fills the Wine prefix,
// gives way to the one Start() makes.
class StoreAtStart : public testsupport::MainDialogTest {
protected:
    // Shows the main dialog as the program does at start (with the mail files
    // named on its command line), counting the scans that start from then on.
    void Start(const std::vector<std::string>& commandLineFiles = {})
    {
        scans.reset();
        dlg.reset();
        dlg = std::make_unique<CQuillmendDlg>();
        scans = std::make_unique<QSignalSpy>(&Browse(), &CDbxBrowseWindow::scanStarted);
        dlg->OpenFiles(commandLineFiles);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        QCoreApplication::processEvents();
    }
    // The store folder of identity {A1} in `user`'s profile, named in the
    // registry through %UserProfile% and in other letter case than on disk.
    std::string ProfileStore(const char* user)
    {
        prefix.Profile(user);
        prefix.UserReg(StoreRootKey("{A1}", "str(2):\"%UserProfile%\\\\local settings\\\\application data\\\\"
                                            "identities\\\\{A1}\\\\microsoft\\\\outlook express\""));
        return prefix.Folder("users/" + std::string(user) +
                             "/Local Settings/Application Data/Identities/{A1}/Microsoft/Outlook Express");
    }

    testsupport::TestPrefix prefix{dir.Path() / "wine"};
    testsupport::ScopedWinePrefix scoped{prefix.Root()};
    std::unique_ptr<QSignalSpy> scans;
};

// The user guide's pictures are screens of the real main window, made here
// and copied into res/assets/help/ by scripts/update-help-pictures.sh (the
// committed copies ship; installing never runs the tests). Each screen is
// checked for what the guide says it shows.
using HelpPictures = StoreAtStart;

} // namespace

TEST_F(StoreAtStart, ListsTheStoresMailFilesUnscannedUnderOneExpandedNode)
{
    const std::string folder = ProfileStore("ann");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(folder + "/Inbox.dbx"));
    for (const char* name : {"Sent Items.DBX", "folders.dbx", "Deleted Items.dbx"})
        WriteFile(folder + "/" + name, std::string(4096, '\0'));

    Start();
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    QTreeWidgetItem& node = *Tree().topLevelItem(0);
    EXPECT_EQ(node.text(0), kStoreNode);
    EXPECT_TRUE(node.isExpanded());
    EXPECT_EQ(Children(node), (QStringList{"Deleted Items", "folders", "Inbox", "Sent Items"}));
    EXPECT_EQ(std::filesystem::canonical(node.child(2)->toolTip(0).toStdString()),
              std::filesystem::canonical(folder + "/Inbox.dbx"));
    EXPECT_EQ(Browse().FileCount(), 4);
    EXPECT_EQ(scans->count(), 0);
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(*dlg), QStringLiteral("store_at_start")).isEmpty());

    // Selecting a file scans it, then and only then.
    Tree().setCurrentItem(node.child(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(scans->count(), 1);
    EXPECT_GT(List().GetItemCount(), 0);
}

TEST_F(StoreAtStart, OtherIdentitiesStoresFollowUnderTheirUserNamesAndTheStatusLineSaysWhatIsMissing)
{
    for (const char* user : {"ann", "bob"}) {
        const std::string folder = prefix.Folder(std::string("mail/") + user);
        WriteFile(folder + "/Inbox.dbx", std::string(4096, '\0'));
    }
    const std::string identities =
        RegKey("Identities") + "\"Last User ID\"=\"{C3}\"\n" + RegKey("Identities\\{A1}") + "\"Username\"=\"Ann\"\n"
        + RegKey("Identities\\{B2}") + "\"Username\"=\"Bob\"\n" + RegKey("Identities\\{C3}") + "\"Username\"=\"Cy\"\n"
        + StoreRootKey("{B2}", "\"C:\\\\mail\\\\bob\"") + StoreRootKey("{C3}", "\"C:\\\\MAIL\\\\BOB\"");
    struct Case {
        const char* what;
        std::string userKeys;
        QStringList nodes;
        QString status;
    };
    const Case cases[] = {
        {"the first identity has a store", identities + StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\""),
         {kStoreNode, "Outlook Express - Cy"}, res::Text(IDS_NOTICE)},
        {"the first identity has none", identities, {kStoreNode, "Outlook Express - Cy"},
         res::Text(IDS_FIRST_IDENTITY_NO_STORE)},
        {"the first shares the others' folder", identities + StoreRootKey("{A1}", "\"C:\\\\mail\\\\bob\""),
         {kStoreNode}, res::Text(IDS_NOTICE)},
        {"no identity at all", RegKey("Software\\Wine") + "\"Version\"=\"winxp\"\n", {kStoreNode},
         res::Format(IDS_NO_STORE, {"no Outlook Express identity in the Wine prefix "
                                        + QString::fromStdString(prefix.Root())})},
    };
    for (const Case& c : cases) {
        prefix.UserReg(c.userKeys);
        Start();
        QStringList nodes;
        for (int i = 0; i < Tree().topLevelItemCount(); ++i)
            nodes << Tree().topLevelItem(i)->text(0);
        EXPECT_EQ(nodes, c.nodes) << c.what;
        EXPECT_TRUE(Tree().topLevelItem(0)->isExpanded()) << c.what;
        EXPECT_EQ(dlg->HintText(), c.status) << c.what;
        if (c.nodes.size() == 1 && c.status != res::Text(IDS_NOTICE)) {
            EXPECT_EQ(Tree().topLevelItem(0)->childCount(), 0) << c.what;  // the empty node only
            EXPECT_EQ(Browse().FileCount(), 0) << c.what;
        }
        if (nodes.size() < 2)
            continue;
        // Cy's node: the one folder Bob and Cy share, listed once.
        EXPECT_EQ(Children(*Tree().topLevelItem(1)), QStringList{"Inbox"}) << c.what;
        EXPECT_FALSE(Tree().topLevelItem(1)->isExpanded()) << c.what;
        if (Tree().topLevelItem(0)->childCount() == 0) {
            // A mail file selected: the notice again.
            Tree().setCurrentItem(Tree().topLevelItem(1)->child(0));
            EXPECT_EQ(dlg->HintText(), res::Text(IDS_NOTICE)) << c.what;
        }
    }
}

TEST_F(StoreAtStart, FilesFromTheCommandLineFollowTheStoresNode)
{
    WriteFile(prefix.Folder("mail/ann") + "/Sent.dbx", std::string(4096, '\0'));
    prefix.UserReg(StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\""));
    const std::string named = dir.File("Inbox.dbx");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(named));

    Start({named});
    ASSERT_TRUE(QTest::qWaitFor([this] { return List().GetItemCount() > 0; }, 5000));
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Tree().topLevelItem(0)->text(0), kStoreNode);
    EXPECT_TRUE(Tree().topLevelItem(0)->isExpanded());
    EXPECT_EQ(Children(*Tree().topLevelItem(0)), QStringList{"Sent"});
    QTreeWidgetItem* files = Tree().topLevelItem(1);
    EXPECT_EQ(files->text(0), QString::fromStdString(named));
    EXPECT_TRUE(files->isExpanded());
    // The named file is still the one shown, scanned once.
    EXPECT_EQ(Tree().currentItem(), files->child(0));
    EXPECT_EQ(scans->count(), 1);
}

TEST_F(HelpPictures, TheMainWindowWithTheStoreATickedListAndADeletedEmail)
{
    const std::string store = ProfileStore("tom");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(store + "/Inbox.dbx"));
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(store + "/Sent Items.dbx"));

    Start();
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    ASSERT_EQ(Tree().topLevelItem(0)->childCount(), 2);
    Tree().setCurrentItem(Tree().topLevelItem(0)->child(0));  // Inbox: scanned now
    ASSERT_GE(List().GetItemCount(), 4);
    List().ToggleTick(1);
    List().ToggleTick(3);
    // A deleted e-mail: the list puts them first.
    EXPECT_TRUE(PreviewRow(1).contains(QStringLiteral("Deleted e-mail")));
    EXPECT_EQ(List().GetTickedCount(), 2);
    const QImage main = testsupport::Grab(*dlg);
    EXPECT_EQ(main.size(), dlg->size());
    EXPECT_FALSE(testsupport::SaveScreenshot(main, QStringLiteral("help/main_window")).isEmpty());
}
