#pragma once
// Records and lists for the message-list and header tests.

#include "dbx/DbxFile.h"
#include "platform/FileTime.h"
#include "support/Times.h"
#include "ui/CCoolHeaderCtrl.h"
#include "ui/CMessageListCtrl.h"
#include "ui/CMessageListModel.h"
#include "ui/PostedMessage.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace listtest {

using testsupport::FileTimeOf;

inline dbx::EmailRecord Record(std::string from, std::string to, std::string subject, std::uint64_t date,
                               bool attachment = false, bool deleted = false)
{
    dbx::EmailRecord r;
    r.from = std::move(from);
    r.to = std::move(to);
    r.subject = std::move(subject);
    r.date = date;
    r.hasAttachment = attachment;
    r.isDeleted = deleted;
    return r;
}

// The refill the browse window does: every record in order.
inline void Fill(CMessageListCtrl& list, const std::vector<dbx::EmailRecord>& records)
{
    list.ResetList();
    for (std::size_t i = 0; i < records.size(); ++i)
        list.AddRow(&records[i], static_cast<std::int32_t>(i));
    list.UpdateItemCount();
}

// The message indexes in display order.
inline std::vector<int> Order(const CMessageListCtrl& list)
{
    std::vector<int> order;
    for (int i = 0; const ListRow* row = list.GetRow(i); ++i)
        order.push_back(row->messageIndex);
    return order;
}

// The list's parent: counts the tick notifications that reach it.
class TickCounter : public QWidget {
public:
    int ticks = 0;

protected:
    bool event(QEvent* e) override
    {
        if (const auto* m = ui::PostedMessage::As(e, ui::WM_TICKCHANGED)) {
            EXPECT_EQ(m->WParam(), 0);
            EXPECT_EQ(m->LParam(), 0);
            ++ticks;
            return true;
        }
        return QWidget::event(e);
    }
};

constexpr int kFrom = CMessageListModel::kColumnFrom;
constexpr int kTo = CMessageListModel::kColumnTo;
constexpr int kSubject = CMessageListModel::kColumnSubject;
constexpr int kDate = CMessageListModel::kColumnDate;
constexpr int kStatus = CMessageListModel::kColumnStatus;

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // index: from, to, subject, date, attachment, deleted
        records = {
            Record("carol@example.com", "me", "Zebra crossing", FileTimeOf(2008, 3, 5, 9, 7, 2), false, true),
            Record("alice@example.com", "me", "apple pie", 0, true, false),
            Record("bob@example.com", "team", "Meeting", FileTimeOf(2007, 12, 31, 23, 59, 59)),
            Record("dave@example.com", "me", "\xE9t\xE9", FileTimeOf(2009, 1, 1), true, true),  // Windows-1252
            Record("eve@example.com", "you", "abc", 0),
            Record("frank@example.com", "me", "abcd", FileTimeOf(2008, 3, 5, 9, 7, 2), false, true),
        };
        parent.resize(900, 300);
        list = new CMessageListCtrl(&parent);
        list->setGeometry(0, 0, 900, 300);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        listtest::Fill(*list, records);
    }

    QWidget* Viewport() const { return list->viewport(); }
    QPoint InRow(int index, int x) const { return QPoint(x, list->rowViewportPosition(index) + list->rowHeight(index) / 2); }
    void ClickAt(QPoint p) { QTest::mouseClick(Viewport(), Qt::LeftButton, {}, p); }
    void ClickTitle(int column)
    {
        QTest::mouseClick(list->Header()->viewport(), Qt::LeftButton, {}, list->Header()->ItemRect(column).center());
    }
    int SelectedRow() const
    {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    QString Cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return list->model()->index(row, column).data(role).toString();
    }
    // Flags of every title that shows a bitmap.
    std::vector<int> ColumnsWithArrow() const
    {
        std::vector<int> columns;
        for (int c = 0; c < CMessageListModel::kColumnCount; ++c)
            if (list->model()->headerData(c, Qt::Horizontal, CCoolHeaderCtrl::kFormatRole).toUInt() &
                (CCoolHeaderCtrl::kHdfBitmap | CCoolHeaderCtrl::kHdfBitmapOnRight))
                columns.push_back(c);
        return columns;
    }
    QImage HeaderBitmap(int column) const
    {
        return list->model()->headerData(column, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().toImage();
    }
    // Pixels of `area` of `shot` that `is` picks.
    static int Count(const QImage& shot, QRect area, bool (*is)(const QColor&))
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= std::min(area.right(), shot.width() - 1); ++x)
                n += is(QColor(shot.pixel(x, y)));
        return n;
    }
    // Pure red pixels of `row` in the text columns; clearly green ones of its tick box.
    int RedPixels(const QImage& shot, int row) const
    {
        const int left = list->columnViewportPosition(kFrom);
        return Count(shot, QRect(left, list->rowViewportPosition(row), shot.width() - left, list->rowHeight(row)),
                     [](const QColor& c) { return c.red() > 200 && c.green() < 90 && c.blue() < 90; });
    }
    int GreenPixels(const QImage& shot, int row) const
    {
        return Count(shot, list->TickBoxRect(row),
                     [](const QColor& c) { return c.green() > 120 && c.red() < 100 && c.blue() < 100; });
    }

    std::vector<dbx::EmailRecord> records;
    dbx::DbxFile file;  // a mail file to list, when a test opens one: outlives the list
    TickCounter parent;
    CMessageListCtrl* list = nullptr;
};

} // namespace listtest
