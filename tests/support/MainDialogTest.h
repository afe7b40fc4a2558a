#pragma once
// Tests of the main dialog as a user sees it: the dialog shown, its preview
// files kept in a runtime folder of the test's own (XDG_RUNTIME_DIR while
// the test runs). MainDialogFakesTest answers its dialogs, too.

#include "app/CQuillmendDlg.h"
#include "support/FakeDialogs.h"
#include "support/TempDir.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/CMessageListCtrl.h"
#include "ui/CMessageListModel.h"

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

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
    CMessageListCtrl& List() { return Browse().MessageList(); }

    // The display index of the first row with `subject`; -1 when none.
    int RowOf(const std::string& subject)
    {
        for (int i = 0; i < List().GetItemCount(); ++i)
            if (List().GetRow(i)->record->subject == subject)
                return i;
        return -1;
    }
    // Selects row `row` and waits until the preview shows it; its text.
    QString PreviewRow(int row)
    {
        CEmailPreviewWindow& preview = Browse().Preview();
        QSignalSpy shown(&preview, &CEmailPreviewWindow::documentComplete);
        List().setCurrentIndex(List().model()->index(row, CMessageListModel::kColumnSubject));
        EXPECT_TRUE(shown.count() > 0 || shown.wait(5000));
        QTest::qWait(50);  // the document painted
        return preview.toPlainText();
    }

    TempDir dir;
    std::string runtime;
    std::unique_ptr<CQuillmendDlg> dlg;
};

// The main dialog with its questions answered by FakeDialogs, and the steps
// of loading and saving that most tests take.
class MainDialogFakesTest : public MainDialogTest {
protected:
    void SetUp() override
    {
        MainDialogTest::SetUp();
        dlg->SetUserDialogs(&dialogs);
    }

    // Loads `path` through Load and selects its (first) mail file.
    void Load(const std::string& path)
    {
        dialogs.filesToOpen = {QString::fromStdString(path)};
        dlg->OnLoad();
        Tree().setCurrentItem(Tree().topLevelItem(Tree().topLevelItemCount() - 1)->child(0));
    }
    // A fresh folder, the one the folder chooser answers next.
    QString Folder(const std::string& name)
    {
        std::filesystem::create_directories(dir.File(name));
        dialogs.folder = QString::fromStdString(dir.File(name));
        return dialogs.folder;
    }
    // File name -> contents of every file in `folder`.
    static std::map<std::string, std::string> Files(const QString& folder)
    {
        return FilesIn(folder.toStdString());
    }
    const FakeDialogs::Asked& LastMessage() const { return dialogs.asked.back(); }

    FakeDialogs dialogs;
};

} // namespace testsupport
