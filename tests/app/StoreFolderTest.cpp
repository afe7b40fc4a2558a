// The main dialog lists the user's Outlook Express store at start: one
// folder node, expanded, with the store's mail files under it, unscanned.

#include "app/CQuillmendDlg.h"

#include "res/Strings.h"
#include "res/resource.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

using testsupport::RegKey;
using testsupport::ScopedWinePrefix;
using testsupport::StoreRootKey;
using testsupport::TempDir;
using testsupport::TestPrefix;
using testsupport::WriteFile;

namespace {

const QString kStoreNode = QStringLiteral("Outlook Express - Local Folder");

struct Started {
    std::unique_ptr<CQuillmendDlg> dlg;
    std::unique_ptr<QSignalSpy> scans;
};

// Shows the main dialog as the program does at start (with the mail files
// named on its command line), counting the scans that start from then on.
Started Start(const std::vector<std::string>& commandLineFiles = {})
{
    Started s;
    s.dlg = std::make_unique<CQuillmendDlg>();
    s.scans = std::make_unique<QSignalSpy>(&s.dlg->BrowseWindow(), &CDbxBrowseWindow::scanStarted);
    s.dlg->OpenFiles(commandLineFiles);
    s.dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(s.dlg.get()));
    QCoreApplication::processEvents();
    return s;
}

QStringList Children(const QTreeWidgetItem& node)
{
    QStringList names;
    for (int i = 0; i < node.childCount(); ++i)
        names << node.child(i)->text(0);
    return names;
}

} // namespace

TEST(StoreAtStart, ListsTheStoresMailFilesUnscannedUnderOneExpandedNode)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    prefix.Profile("ann");
    const std::string folder = prefix.Folder("users/ann/Local Settings/Application Data/Identities/{A1}/"
                                             "Microsoft/Outlook Express");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(folder + "/Inbox.dbx"));
    for (const char* name : {"Sent Items.DBX", "folders.dbx", "Deleted Items.dbx"})
        WriteFile(folder + "/" + name, std::string(4096, '\0'));
    prefix.UserReg(StoreRootKey("{A1}", "str(2):\"%UserProfile%\\\\local settings\\\\application data\\\\"
                                        "identities\\\\{A1}\\\\microsoft\\\\outlook express\""));
    ScopedWinePrefix scoped(prefix.Root());

    Started s = Start();
    QTreeWidget& tree = s.dlg->BrowseWindow().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    QTreeWidgetItem& node = *tree.topLevelItem(0);
    EXPECT_EQ(node.text(0), kStoreNode);
    EXPECT_TRUE(node.isExpanded());
    EXPECT_EQ(Children(node), (QStringList{"Deleted Items", "folders", "Inbox", "Sent Items"}));
    EXPECT_EQ(std::filesystem::canonical(node.child(2)->toolTip(0).toStdString()),
              std::filesystem::canonical(folder + "/Inbox.dbx"));
    EXPECT_EQ(s.dlg->BrowseWindow().FileCount(), 4);
    EXPECT_EQ(s.scans->count(), 0);
    EXPECT_EQ(s.dlg->BrowseWindow().MessageList().GetItemCount(), 0);
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(*s.dlg), QStringLiteral("store_at_start")).isEmpty());

    // Selecting a file scans it, then and only then.
    tree.setCurrentItem(node.child(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(s.scans->count(), 1);
    EXPECT_GT(s.dlg->BrowseWindow().MessageList().GetItemCount(), 0);
}

TEST(StoreAtStart, WithoutAStoreOnlyTheEmptyNodeShows)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    prefix.UserReg(testsupport::RegKey("Software\\Wine") + "\"Version\"=\"winxp\"\n");
    ScopedWinePrefix scoped(prefix.Root());

    Started s = Start();
    QTreeWidget& tree = s.dlg->BrowseWindow().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), kStoreNode);
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree.topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(s.dlg->BrowseWindow().FileCount(), 0);
}

TEST(StoreAtStart, OtherIdentitiesStoresFollowUnderTheirUserNamesAndTheStatusLineSaysWhatIsMissing)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    for (const char* user : {"ann", "bob"}) {
        const std::string folder = prefix.Folder(std::string("mail/") + user);
        WriteFile(folder + "/Inbox.dbx", std::string(4096, '\0'));
    }
    const std::string identities =
        RegKey("Identities") + "\"Last User ID\"=\"{C3}\"\n" + RegKey("Identities\\{A1}") + "\"Username\"=\"Ann\"\n"
        + RegKey("Identities\\{B2}") + "\"Username\"=\"Bob\"\n" + RegKey("Identities\\{C3}") + "\"Username\"=\"Cy\"\n"
        + StoreRootKey("{B2}", "\"C:\\\\mail\\\\bob\"") + StoreRootKey("{C3}", "\"C:\\\\MAIL\\\\BOB\"");
    ScopedWinePrefix scoped(prefix.Root());
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
        {"no identity at all", "", {kStoreNode},
         res::Format(IDS_NO_STORE, {"no Outlook Express identity in the Wine prefix "
                                        + QString::fromStdString(prefix.Root())})},
    };
    for (const Case& c : cases) {
        prefix.UserReg(c.userKeys);
        Started s = Start();
        QTreeWidget& tree = s.dlg->BrowseWindow().Tree();
        QStringList nodes;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            nodes << tree.topLevelItem(i)->text(0);
        EXPECT_EQ(nodes, c.nodes) << c.what;
        EXPECT_TRUE(tree.topLevelItem(0)->isExpanded()) << c.what;
        EXPECT_EQ(s.dlg->HintText(), c.status) << c.what;
        if (nodes.size() < 2)
            continue;
        // Cy's node: the one folder Bob and Cy share, listed once.
        EXPECT_EQ(Children(*tree.topLevelItem(1)), QStringList{"Inbox"}) << c.what;
        EXPECT_FALSE(tree.topLevelItem(1)->isExpanded()) << c.what;
        if (tree.topLevelItem(0)->childCount() == 0) {
            EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(*s.dlg), QStringLiteral("store_other_identity"))
                             .isEmpty());
            // A mail file selected: the notice again.
            tree.setCurrentItem(tree.topLevelItem(1)->child(0));
            EXPECT_EQ(s.dlg->HintText(), res::Text(IDS_NOTICE)) << c.what;
        }
    }
}

TEST(StoreAtStart, FilesFromTheCommandLineFollowTheStoresNode)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    WriteFile(prefix.Folder("mail/ann") + "/Sent.dbx", std::string(4096, '\0'));
    prefix.UserReg(StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\""));
    ScopedWinePrefix scoped(prefix.Root());
    const std::string named = dir.File("Inbox.dbx");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(named));

    Started s = Start({named});
    QTest::qWait(20);
    QTreeWidget& tree = s.dlg->BrowseWindow().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), kStoreNode);
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
    EXPECT_EQ(Children(*tree.topLevelItem(0)), QStringList{"Sent"});
    QTreeWidgetItem* files = tree.topLevelItem(1);
    EXPECT_EQ(files->text(0), QString::fromStdString(named));
    EXPECT_TRUE(files->isExpanded());
    // The named file is still the one shown.
    EXPECT_EQ(tree.currentItem(), files->child(0));
    EXPECT_EQ(s.scans->count(), 1);
    EXPECT_GT(s.dlg->BrowseWindow().MessageList().GetItemCount(), 0);
}
