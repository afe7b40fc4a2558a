#pragma once
// The browse window inside the main dialog, with mail files added under one
// folder node of the test's own.

#include "browse/CDbxBrowseWindow.h"
#include "support/MainDialogTest.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <string>

namespace browsetest {

// E-mails the scan of the demo mailbox lists.
constexpr int kDemoCount = 11;

class BrowseTest : public testsupport::MainDialogTest {
protected:
    CMessageListCtrl& List() { return Browse().MessageList(); }

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

    QTreeWidgetItem* folder = nullptr;
};

} // namespace browsetest
