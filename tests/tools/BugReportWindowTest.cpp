#include "CBugReportWindow.h"
#include "crash/ReportPage.h"

#include "support/QtTestApp.h"
#include "support/TempDir.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

// A page as the crash report writes it; one frame line has a Windows-1252 byte.
const QByteArray kReport = QByteArray(crash::kReportVersionLine.data(), crash::kReportVersionLine.size())
    + "Exception Code:0xc0000005\r\nException Address:0x55d232ee83f8\r\n"
      "[/src/Caf\xe9/Scan.cpp (42): dbx::Scan(int)]\r\n"
      "[7FF6C84AA98E (libglib-2.0.so.0):  : g_main_context_iteration]\r\n";

QByteArray Page(const QByteArray& report)
{
    return QByteArray(crash::kReportHead.data(), crash::kReportHead.size()) + report
        + QByteArray(crash::kReportTail.data(), crash::kReportTail.size());
}

} // namespace

TEST(BugReportWindow, ShowsTheReportOfThePageAndLetsItBeCopiedAndSaved)
{
    CBugReportWindow window(Page(kReport));
    window.show();
    EXPECT_EQ(window.ReportText(), QStringLiteral("Version 1.1 Building Date:080127\n"
                                                  "Exception Code:0xc0000005\n"
                                                  "Exception Address:0x55d232ee83f8\n"
                                                  "[/src/Caf\u00e9/Scan.cpp (42): dbx::Scan(int)]\n"
                                                  "[7FF6C84AA98E (libglib-2.0.so.0):  : g_main_context_iteration]\n"));
    EXPECT_TRUE(window.TextView().isReadOnly());
    EXPECT_TRUE(window.CopyButton().isEnabled());
    testsupport::SaveScreenshot(testsupport::Grab(window), QStringLiteral("bugreport_window"));

    window.CopyButton().click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), window.ReportText());

    // Saved as the page holds it: the same bytes, CR LF and all.
    TempDir dir;
    const QString path = QString::fromStdString(dir.File("report.txt"));
    ASSERT_TRUE(window.SaveTo(path));
    EXPECT_EQ(QByteArray::fromStdString(testsupport::ReadFile(path.toStdString())), kReport);
    EXPECT_FALSE(window.SaveTo(QString::fromStdString(dir.File("no/such/folder/report.txt"))));
}

TEST(BugReportWindow, WithoutAReportThereIsNothingToCopyOrSave)
{
    for (const QByteArray& page : {QByteArray(), QByteArray("<html>no text area</html>")}) {
        CBugReportWindow window(page);
        EXPECT_TRUE(window.ReportText().isEmpty());
        EXPECT_FALSE(window.CopyButton().isEnabled());
        EXPECT_FALSE(window.SaveButton().isEnabled());
        bool told = false;
        for (const QLabel* label : window.findChildren<QLabel*>())
            told = told || label->text() == QStringLiteral("No crash report was found.");
        EXPECT_TRUE(told);
    }
}
