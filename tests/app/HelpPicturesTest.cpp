// The user guide's pictures are screens of the real main window, made here
// and copied into res/assets/help/ by scripts/update-help-pictures.sh (the
// committed copies ship; installing never runs the tests). Each screen is
// checked for what the guide says it shows.

#include "app/CQuillmendDlg.h"
#include "res/resource.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/CMessageListCtrl.h"

#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

using testsupport::ScopedWinePrefix;
using testsupport::StoreRootKey;
using testsupport::TempDir;
using testsupport::TestPrefix;

TEST(HelpPictures, TheMainWindowWithTheStoreATickedListAndADeletedEmail)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("runtime"));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.File("runtime")));
    TestPrefix prefix(dir.Path() / "wine");
    prefix.Profile("tom");
    const std::string store = prefix.Folder("users/tom/Local Settings/Application Data/Identities/{A1}/"
                                            "Microsoft/Outlook Express");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(store + "/Inbox.dbx"));
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(store + "/Sent Items.dbx"));
    prefix.UserReg(StoreRootKey("{A1}", "str(2):\"%UserProfile%\\\\Local Settings\\\\Application Data\\\\"
                                        "Identities\\\\{A1}\\\\Microsoft\\\\Outlook Express\""));
    ScopedWinePrefix scoped(prefix.Root());

    CQuillmendDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTreeWidget& tree = dlg.BrowseWindow().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    ASSERT_EQ(tree.topLevelItem(0)->childCount(), 2);

    tree.setCurrentItem(tree.topLevelItem(0)->child(0));  // Inbox: scanned now
    CMessageListCtrl& list = dlg.BrowseWindow().MessageList();
    ASSERT_GE(list.GetItemCount(), 4);
    list.ToggleTick(1);
    list.ToggleTick(3);
    CEmailPreviewWindow& preview = dlg.BrowseWindow().Preview();
    QSignalSpy shown(&preview, &CEmailPreviewWindow::documentComplete);
    list.setCurrentIndex(list.model()->index(1, 1));  // a deleted e-mail: the list puts them first
    ASSERT_TRUE(shown.count() > 0 || shown.wait(5000));
    QTest::qWait(50);
    EXPECT_EQ(list.GetTickedCount(), 2);
    EXPECT_TRUE(preview.toPlainText().contains(QStringLiteral("Deleted e-mail")));
    const QImage main = testsupport::Grab(dlg);
    EXPECT_EQ(main.size(), dlg.size());
    EXPECT_FALSE(testsupport::SaveScreenshot(main, QStringLiteral("help/main_window")).isEmpty());
    qunsetenv("XDG_RUNTIME_DIR");
}

// Every picture the guide shows is committed beside it, so the installed
// guide is whole.
TEST(HelpPictures, EveryPictureOfTheGuideIsInItsFolder)
{
    QFile page(QStringLiteral(QUILLMEND_ASSETS_DIR "/help.htm"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    int pictures = 0;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("<img[^>]*src=\"([^\"]+)\"")).globalMatch(html)) {
        ++pictures;
        const QImage image(QStringLiteral(QUILLMEND_ASSETS_DIR "/") + m.captured(1));
        EXPECT_FALSE(image.isNull()) << m.captured(1).toStdString();
    }
    EXPECT_GE(pictures, 1);
}
