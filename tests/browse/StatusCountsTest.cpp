#include "app/CQuillmendDlg.h"

#include "dbx/EmailRecord.h"
#include "support/QtTestApp.h"

#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Collects what the main dialog repaints.
class PaintWatcher : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return QObject::eventFilter(watched, event);
    }
};

dbx::EmailRecord Mail(const char* subject, bool deleted)
{
    dbx::EmailRecord r;
    r.from = "sender@example.com";
    r.to = "me@example.com";
    r.subject = subject;
    r.isDeleted = deleted;
    return r;
}

class StatusCounts : public ::testing::Test {
protected:
    void SetUp() override
    {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QCoreApplication::processEvents();
    }
    void Fill()
    {
        CMessageListCtrl& list = dlg.BrowseWindow().MessageList();
        list.ResetList();
        for (std::size_t i = 0; i < records.size(); ++i)
            list.AddRow(&records[i], static_cast<int>(i));
        list.UpdateItemCount();
    }

    std::vector<dbx::EmailRecord> records{Mail("one", false), Mail("two", true), Mail("three", false)};
    CQuillmendDlg dlg;
};

} // namespace

TEST_F(StatusCounts, TheListSitsInTheTopRightHalfOfTheBrowseWindow)
{
    const CDbxBrowseWindow& browse = dlg.BrowseWindow();
    const QRect list = browse.MessageList().geometry();
    EXPECT_EQ(list.left(), 203);
    EXPECT_EQ(list.top(), 0);
    EXPECT_EQ(list.right(), browse.width() - 2);  // 1 px stays free at the right
    EXPECT_EQ(list.height(), browse.height() / 2);
}

TEST_F(StatusCounts, CountTheListsItemsAndTicks)
{
    EXPECT_EQ(dlg.CountsText(), "All Emails:0    Selected Emails:0");
    Fill();
    EXPECT_EQ(dlg.CountsText(), "All Emails:3    Selected Emails:0");
    dlg.BrowseWindow().MessageList().TickAll();
    EXPECT_EQ(dlg.CountsText(), "All Emails:3    Selected Emails:3");
    CMessageListCtrl& list = dlg.BrowseWindow().MessageList();
    list.ResetList();
    list.UpdateItemCount();
    EXPECT_EQ(dlg.CountsText(), "All Emails:0    Selected Emails:0");
}

TEST_F(StatusCounts, ATickClickRepaintsTheStatusLine)
{
    Fill();
    CMessageListCtrl& list = dlg.BrowseWindow().MessageList();
    // Focus moves first: a button losing it repaints the status line too.
    list.setFocus();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    PaintWatcher watcher;
    dlg.installEventFilter(&watcher);
    const QPoint box(8, list.rowViewportPosition(1) + list.rowHeight(1) / 2);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(dlg.CountsText(), "All Emails:3    Selected Emails:1");
    QCoreApplication::processEvents();  // the posted notification, then the paint
    QCoreApplication::processEvents();
    EXPECT_TRUE(watcher.painted.contains(dlg.StatusStripRect())) << "status strip not repainted";
    dlg.removeEventFilter(&watcher);

    list.TickDeleted();
    const QImage shot = testsupport::Grab(dlg);
    EXPECT_FALSE(testsupport::SaveScreenshot(shot, "main_dialog_with_list").isEmpty());
}
