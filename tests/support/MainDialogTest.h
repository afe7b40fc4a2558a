#pragma once
// Tests of the main dialog as a user sees it: the dialog shown, its preview
// files kept in a runtime folder of the test's own (XDG_RUNTIME_DIR while
// the test runs).

#include "app/CQuillmendDlg.h"
#include "support/TempDir.h"

#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace testsupport {

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        runtime = dir.File("runtime");
        std::filesystem::create_directories(runtime);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
        dlg = MakeDialog();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        dlg.reset();
        qunsetenv("XDG_RUNTIME_DIR");
    }
    // The dialog under test, made once the runtime folder is in place.
    virtual std::unique_ptr<CQuillmendDlg> MakeDialog() { return std::make_unique<CQuillmendDlg>(); }

    CDbxBrowseWindow& Browse() { return dlg->BrowseWindow(); }
    QTreeWidget& Tree() { return Browse().Tree(); }

    TempDir dir;
    std::string runtime;
    std::unique_ptr<CQuillmendDlg> dlg;
};

} // namespace testsupport
