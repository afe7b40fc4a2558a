// The demo mailbox's deleted e-mails in the preview: as the stored bytes
// read on their own (before), read around their gaps (after), and the
// original beside them (the undeleted copy where the mailbox keeps one).

#include "dbx/DbxFile.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "ui/CEmailPreviewWindow.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using testsupport::TempDir;

namespace {

// The share of `original` that `shown` keeps, in order: the longest common
// subsequence of the two, in characters, over the original's length.
double ShareKept(const QString& shown, const QString& original)
{
    std::vector<int> row(static_cast<std::size_t>(shown.size()) + 1, 0);
    for (const QChar c : original) {
        int diagonal = 0;
        for (qsizetype j = 1; j <= shown.size(); ++j) {
            const int above = row[static_cast<std::size_t>(j)];
            row[static_cast<std::size_t>(j)] = c == shown[j - 1] ? diagonal + 1
                                                                  : std::max(above, row[static_cast<std::size_t>(j - 1)]);
            diagonal = above;
        }
    }
    return original.isEmpty() ? 1.0 : static_cast<double>(row.back()) / static_cast<double>(original.size());
}

// Three previews side by side, the way a person compares them.
class SideBySide : public QWidget {
public:
    SideBySide()
    {
        resize(3 * 520, 640);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(4);
        for (CEmailPreviewWindow*& view : views) {
            view = CEmailPreviewWindow::CreateObject();
            layout->addWidget(view);
        }
        show();
    }

    // Shows `bytes` in view `i` as the browse window does, through a file.
    QString Show(int i, const std::string& bytes, const dbx::TextDamage& damage = {})
    {
        const std::string path = dir.File(std::to_string(i) + ".mht");
        testsupport::WriteFile(path, bytes);
        CEmailPreviewWindow* view = views[static_cast<std::size_t>(i)];
        QSignalSpy complete(view, &CEmailPreviewWindow::documentComplete);
        view->Navigate2(QString::fromStdString(path), damage);
        EXPECT_TRUE(complete.wait(5000));
        return view->toPlainText();
    }

    TempDir dir;
    CEmailPreviewWindow* views[3] = {};
};

} // namespace

TEST(DeletedPreview, DemoEmailsReadAsTheOriginalAroundMarkedGaps)
{
    TempDir dir;
    const dbxgen::Mailbox demo = dbxgen::MakeDemoMailbox();
    const std::string path = dir.File("Inbox.dbx");
    ASSERT_TRUE(demo.WriteTo(path));
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(path));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    const auto messages = dbxgen::DemoMessages();
    const auto order = demo.RecoveryOrder();
    ASSERT_EQ(static_cast<int>(order.size()), file.GetCount());

    int deleted = 0;
    for (int i = 0; i < file.GetCount(); ++i) {
        if (!file.GetAt(i)->isDeleted)
            continue;
        ++deleted;
        std::string stored;
        ASSERT_TRUE(file.ReadMessage(i, stored));
        // The original: the undeleted copy where the mailbox has one, else
        // the message as the fixture maker wrote it.
        std::string original = messages[static_cast<std::size_t>(order[static_cast<std::size_t>(i)]->id)].first.text;
        const char* origin = "as written";
        for (int k = 0; k < file.GetCount(); ++k) {
            if (!file.GetAt(k)->isDeleted && file.GetAt(k)->subject == file.GetAt(i)->subject) {
                original.clear();
                ASSERT_TRUE(file.ReadMessage(k, original));
                origin = "undeleted copy";
            }
        }
        SideBySide panes;
        const QString before = panes.Show(0, stored);
        const QString after = panes.Show(1, stored, file.Damage(i));
        const QString reference = panes.Show(2, original);
        const QString banner = QStringLiteral("Deleted e-mail: 4 bytes of every 512 were overwritten");
        ASSERT_TRUE(after.startsWith(banner)) << i;
        // The banner's own sample mark and the marks in the text.
        const QString body = after.mid(after.indexOf(QLatin1Char('\n')) + 1);
        const double shareBefore = ShareKept(before, reference);
        const double shareAfter = ShareKept(body, reference);
        std::printf("deleted e-mail %d (%s): %.1f %% of the original's text before, %.1f %% after, %lld gaps marked\n",
                    i, origin, 100 * shareBefore, 100 * shareAfter,
                    static_cast<long long>(body.count(QStringLiteral("\u2591\u2591\u2591"))));
        EXPECT_GT(shareAfter, shareBefore) << i;
        EXPECT_GE(shareAfter, 0.97) << i;
        EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(panes), QStringLiteral("deleted_demo_%1").arg(i))
                         .isEmpty());
    }
    EXPECT_EQ(deleted, 4);
}
