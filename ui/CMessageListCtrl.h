#pragma once
// The list of e-mails of the selected mail file: one row per EmailRecord in
// six columns (tick box and icon, From, To, Subject, Date, Status), deleted
// e-mails in red. A click on a row's tick box ticks or unticks it; a click
// on a column title sorts by that column, the direction flipping with every
// further click. The list is virtual: its rows live here and the view asks
// for only what it draws.

#include "mailtext/HeaderTextCache.h"
#include "ui/ListRow.h"

#include <QPixmap>
#include <QTableView>

#include <cstdint>
#include <vector>

class CCoolHeaderCtrl;
class CMessageListModel;

class CMessageListCtrl : public QTableView {
    Q_OBJECT
public:
    // Direction bytes of sortDirections.
    static constexpr std::uint8_t kNeverSorted = 0xFF;
    static constexpr std::uint8_t kAscending = 1;
    static constexpr std::uint8_t kDescending = 0;

    // The tick box: the left 16 px of a row.
    static constexpr int kTickStripWidth = 16;
    static constexpr int kRowHeight = 17;
    static constexpr int kArrowSize = 15;

    // An empty list with its six columns, titles and images; the rows and the
    // sort directions come with ResetList.
    explicit CMessageListCtrl(QWidget* parent = nullptr);
    ~CMessageListCtrl() override;

    // Drops all rows and the selection, removes the sort marks and makes every
    // column unsorted. The view keeps its item count until UpdateItemCount.
    void ResetList();
    // Appends an unticked row for `record` (owned by the caller, which keeps
    // it alive while it is listed). The view learns of it at UpdateItemCount.
    // A null record adds nothing.
    void AddRow(const dbx::EmailRecord* record, std::int32_t messageIndex);
    // The mail file whose records the rows list (nullptr: none): From, To
    // and Subject are shown and sorted as its messages' header lines read.
    // Call after ResetList, which forgets it; the file must outlive the rows.
    void SetMailFile(const dbx::DbxFile* file);
    // Records were added to `file`, whose records the rows list: points every
    // row at its record again (the records may have moved in memory) and
    // appends an unticked row for each record from index `first` on, after
    // the rows there are whatever their order. Ticks, order and selection
    // stay; the view shows the new rows at once.
    void AddRowsFrom(const dbx::DbxFile& file, int first);
    // Makes the view show as many items as there are rows.
    void UpdateItemCount();
    // The number of items the view shows (the "All Emails" count).
    int GetItemCount() const;

    // The row at display index `index`; nullptr when there is none.
    const ListRow* GetRow(int index) const;
    // The tick of display index `index`; 0 when there is no such row.
    std::int32_t IsTicked(int index) const;
    // The number of ticked rows (the "Selected Emails" count).
    int GetTickedCount() const;
    // Tick every row / no row / exactly the existing e-mails / exactly the
    // deleted ones. They repaint the list, change no selection and send no
    // tick notification.
    void TickAll();
    void UntickAll();
    void TickExisting();
    void TickDeleted();

    // Flips the tick of display index `index` (nothing when there is no such
    // row), repaints the list and tells the parent (WM_TICKCHANGED).
    void ToggleTick(int index);

    // A click on the title of `column`: flips its direction (a never-sorted
    // column starts ascending), puts the arrow on it alone and sorts the rows
    // stably. Does nothing before the first ResetList.
    void OnColumnClick(int column);

    const std::vector<std::uint8_t>& SortDirections() const { return sortDirections_; }
    // The column being sorted; -1 except during a sort.
    int SortColumn() const { return sortColumn_; }
    // The tick-box strip of display index `index` in viewport coordinates
    // (empty when the index has no item).
    QRect TickBoxRect(int index) const;

    CCoolHeaderCtrl* Header() const { return header_; }
    CMessageListModel* Model() const { return model_; }
    const QPixmap& AscendingArrow() const { return ascendingArrow_; }
    const QPixmap& DescendingArrow() const { return descendingArrow_; }

protected:
    // Space ticks or unticks the current row, so that the list can be used
    // without a mouse.
    void keyPressEvent(QKeyEvent* event) override;
    // Home and End go to the first and last row, with or without Ctrl.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void SetTicks(int (*rule)(const dbx::EmailRecord&));
    void SortRows(int column, bool descending);
    void ClearSortMark(int column, bool dropBitmap);
    static QPixmap MakeArrow(const QPixmap& image);

    QPixmap ascendingArrow_;
    QPixmap descendingArrow_;
    CCoolHeaderCtrl* header_;  // owned by the view
    std::vector<std::uint8_t> sortDirections_;
    int sortColumn_ = -1;
    std::vector<ListRow> rows_;
    mailtext::HeaderTextCache texts_;  // the rows' header texts, made when first shown or sorted
    CMessageListModel* model_;  // answers from rows_ and texts_
};
