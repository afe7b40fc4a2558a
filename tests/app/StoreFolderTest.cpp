// The main dialog lists the user's Outlook Express store at start: one
// folder node, expanded, with the store's mail files under it, unscanned.

#include "app/CQuillmendDlg.h"

#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

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

// Shows the main dialog as the program does at start, counting the scans
// that start from then on.
Started Start()
{
    Started s;
    s.dlg = std::make_unique<CQuillmendDlg>();
    s.scans = std::make_unique<QSignalSpy>(&s.dlg->BrowseWindow(), &CDbxBrowseWindow::scanStarted);
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
