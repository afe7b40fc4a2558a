#include "CMessageListCtrl.h"

#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/CBitmapDC.h"
#include "ui/CCoolHeaderCtrl.h"
#include "ui/CMessageListDelegate.h"
#include "ui/CMessageListModel.h"
#include "ui/PostedMessage.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <deque>
#include <numeric>

namespace {

struct ColumnLayout {
    int title;  // string id; 0: no title
    int width;
};

constexpr ColumnLayout kColumns[CMessageListModel::kColumnCount] = {
    {0, 60}, {IDS_COLUMN_FROM, 150}, {IDS_COLUMN_TO, 150}, {IDS_COLUMN_SUBJECT, 200}, {IDS_COLUMN_DATE, 140},
    {IDS_COLUMN_STATUS, 60},
};

constexpr unsigned kBitmapFlags = CCoolHeaderCtrl::kHdfBitmap | CCoolHeaderCtrl::kHdfBitmapOnRight;

// Image `i` of a strip of images `width` pixels wide, with the magenta mask
// applied; a null pixmap when the strip has no such image.
QPixmap StripImage(const QPixmap& strip, int width, int i) {
    if (strip.isNull() || (i + 1) * width > strip.width())
        return {};
    return res::MaskedPixmap(strip.copy(i * width, 0, width, strip.height()));
}

std::vector<QPixmap> StripImages(int bitmapId, int width) {
    const QPixmap strip = res::LoadBitmap(bitmapId);
    std::vector<QPixmap> images;
    for (int i = 0; width > 0 && (i + 1) * width <= strip.width(); ++i)
        images.push_back(StripImage(strip, width, i));
    return images;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

// The order of two records by a column without text, ascending: negative
// puts `a` first.
int CompareRecords(const dbx::EmailRecord& a, const dbx::EmailRecord& b, int column) {
    switch (column) {
    case CMessageListModel::kColumnTick:
        return int{a.hasAttachment} - int{b.hasAttachment};
    case CMessageListModel::kColumnDate:
        return a.date < b.date ? -1 : (a.date > b.date ? 1 : 0);
    case CMessageListModel::kColumnStatus:
        // Existing, moved, deleted, moved and deleted.
        return (2 * int{a.isDeleted} + int{a.moved}) - (2 * int{b.isDeleted} + int{b.moved});
    default:
        return 0;
    }
}

} // namespace

CMessageListCtrl::CMessageListCtrl(QWidget* parent)
    : QTableView(parent), header_(new CCoolHeaderCtrl(this)), model_(new CMessageListModel(rows_, texts_, this)) {
    const std::vector<QPixmap> arrows = StripImages(IDB_SORT_ARROWS, kArrowSize);
    if (arrows.size() >= 2) {
        ascendingArrow_ = MakeArrow(arrows[1]);   // image 1: up
        descendingArrow_ = MakeArrow(arrows[0]);  // image 0: down
    }
    setItemDelegate(new CMessageListDelegate(StripImages(IDB_TICK_STATES, CMessageListDelegate::kStateImageWidth),
                                             StripImages(IDB_SMALL_ICONS, 26), this));

    setModel(model_);
    setHorizontalHeader(header_);
    // One report row per e-mail, selected whole and one at a time.
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    // Fixed row heights: a list of any length costs nothing to lay out.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kRowHeight);

    for (int c = 0; c < CMessageListModel::kColumnCount; ++c) {
        const ColumnLayout& column = kColumns[c];
        // A missing string leaves the title empty.
        model_->setHeaderData(c, Qt::Horizontal, column.title ? res::Text(column.title) : QString(), Qt::DisplayRole);
        header_->resizeSection(c, column.width);
    }
    connect(header_, &QHeaderView::sectionClicked, this, &CMessageListCtrl::OnColumnClick);
}

CMessageListCtrl::~CMessageListCtrl() {
    // The model answers from rows_, which goes before the view's base does:
    // detach it while the rows still exist.
    setModel(nullptr);
}

QPixmap CMessageListCtrl::MakeArrow(const QPixmap& image) {
    // The arrow over the header's colour, so that it can be copied as it is.
    QPixmap arrow(kArrowSize, kArrowSize);
    if (arrow.isNull())
        return {};
    arrow.fill(CCoolHeaderCtrl::kBandColour);
    CBitmapDC dc(arrow, 0, 0);
    dc.Painter().drawPixmap(0, 0, image);
    return arrow;
}

void CMessageListCtrl::ResetList() {
    selectionModel()->clear();
    rows_.clear();
    texts_.Reset(nullptr);
    const int n = header_->count();
    sortDirections_.clear();
    sortColumn_ = -1;
    for (int c = 0; c < n; ++c) {
        ClearSortMark(c, true);
        sortDirections_.push_back(kNeverSorted);
    }
}

void CMessageListCtrl::ClearSortMark(int column, bool dropBitmap) {
    const unsigned format = model_->headerData(column, Qt::Horizontal, CCoolHeaderCtrl::kFormatRole).toUInt();
    model_->setHeaderData(column, Qt::Horizontal, format & ~kBitmapFlags, CCoolHeaderCtrl::kFormatRole);
    if (dropBitmap)
        model_->setHeaderData(column, Qt::Horizontal, QPixmap(), Qt::DecorationRole);
}

void CMessageListCtrl::AddRow(const dbx::EmailRecord* record, std::int32_t messageIndex) {
    if (record)
        rows_.push_back(ListRow{messageIndex, 0, record});
}

void CMessageListCtrl::SetMailFile(const dbx::DbxFile* file) {
    texts_.Reset(file);
}

void CMessageListCtrl::AddRowsFrom(const dbx::DbxFile& file, int first) {
    // The file's records may have moved in memory.
    for (ListRow& row : rows_)
        row.record = file.GetAt(row.messageIndex);
    const std::size_t before = rows_.size();
    for (int i = std::max(first, 0); i < file.GetCount(); ++i)
        rows_.push_back(ListRow{i, 0, file.GetAt(i)});
    model_->AddItems(static_cast<int>(rows_.size() - before));
}

void CMessageListCtrl::UpdateItemCount() {
    model_->SetItemCount(static_cast<int>(rows_.size()));
}

int CMessageListCtrl::GetItemCount() const {
    return model_->rowCount();
}

const ListRow* CMessageListCtrl::GetRow(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size())
        return nullptr;
    return &rows_[static_cast<std::size_t>(index)];
}

std::int32_t CMessageListCtrl::IsTicked(int index) const {
    const ListRow* row = GetRow(index);
    return row ? row->ticked : 0;
}

int CMessageListCtrl::GetTickedCount() const {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const ListRow& r) { return r.ticked != 0; }));
}

void CMessageListCtrl::SetTicks(int (*rule)(const dbx::EmailRecord&)) {
    for (ListRow& row : rows_)
        row.ticked = rule(*row.record);
    viewport()->update();
}

void CMessageListCtrl::TickAll() {
    SetTicks([](const dbx::EmailRecord&) { return 1; });
}

void CMessageListCtrl::UntickAll() {
    SetTicks([](const dbx::EmailRecord&) { return 0; });
}

void CMessageListCtrl::TickExisting() {
    SetTicks([](const dbx::EmailRecord& r) { return r.isDeleted ? 0 : 1; });
}

void CMessageListCtrl::TickDeleted() {
    SetTicks([](const dbx::EmailRecord& r) { return r.isDeleted ? 1 : 0; });
}

void CMessageListCtrl::OnColumnClick(int column) {
    // Without direction bytes (no ResetList yet) there is nothing to flip.
    if (column < 0 || static_cast<std::size_t>(column) >= sortDirections_.size())
        return;
    const int n = std::min(header_->count(), static_cast<int>(sortDirections_.size()));
    for (int i = 0; i < n; ++i) {
        if (i != column) {
            ClearSortMark(i, false);
            continue;
        }
        std::uint8_t& direction = sortDirections_[static_cast<std::size_t>(i)];
        direction = direction != kAscending ? kAscending : kDescending;
        const unsigned format = model_->headerData(i, Qt::Horizontal, CCoolHeaderCtrl::kFormatRole).toUInt();
        model_->setHeaderData(i, Qt::Horizontal, format | kBitmapFlags, CCoolHeaderCtrl::kFormatRole);
        model_->setHeaderData(i, Qt::Horizontal, direction == kAscending ? ascendingArrow_ : descendingArrow_,
                              Qt::DecorationRole);
    }

    sortColumn_ = column;
    if (!rows_.empty()) {
        SortRows(column, sortDirections_[static_cast<std::size_t>(column)] == kDescending);
        // The selection stays on the same display index.
        model_->RowsChanged();
        viewport()->update();
    }
    sortColumn_ = -1;
}

void CMessageListCtrl::SortRows(int column, bool descending) {
    // Stable: rows with equal keys keep the order the user saw.
    const auto before = [descending](int order) { return (descending ? -order : order) < 0; };
    dbx::HeaderField field;
    switch (column) {
    case CMessageListModel::kColumnFrom: field = dbx::HeaderField::kFrom; break;
    case CMessageListModel::kColumnTo: field = dbx::HeaderField::kTo; break;
    case CMessageListModel::kColumnSubject: field = dbx::HeaderField::kSubject; break;
    default:
        std::stable_sort(rows_.begin(), rows_.end(), [column, before](const ListRow& a, const ListRow& b) {
            return before(CompareRecords(*a.record, *b.record, column));
        });
        return;
    }
    // Texts as shown, compared byte by byte as unsigned UTF-8 (code point
    // order), a shorter prefix first: each row's text is made once.
    std::vector<std::string_view> keys(rows_.size());
    std::deque<std::string> held;  // texts the cache keeps only until its next call
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        keys[i] = texts_.Text(*rows_[i].record, rows_[i].messageIndex, field);
        if (rows_[i].messageIndex < 0)
            keys[i] = held.emplace_back(keys[i]);
    }
    std::vector<std::uint32_t> order(rows_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return before(Sign(keys[a].compare(keys[b])));  // char_traits<char> compares as unsigned char
    });
    std::vector<ListRow> sorted;
    sorted.reserve(rows_.size());
    for (const std::uint32_t i : order)
        sorted.push_back(rows_[i]);
    rows_.swap(sorted);
}

QRect CMessageListCtrl::TickBoxRect(int index) const {
    if (index < 0 || index >= GetItemCount())
        return {};
    // The row's bounds start at column 0's left edge, wherever it scrolled.
    return QRect(columnViewportPosition(0), rowViewportPosition(index), kTickStripWidth, rowHeight(index));
}

void CMessageListCtrl::ToggleTick(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size())
        return;
    ListRow& row = rows_[static_cast<std::size_t>(index)];
    row.ticked = row.ticked ? 0 : 1;
    viewport()->update();
    ui::PostPrivateMessage(parentWidget(), ui::WM_TICKCHANGED, 0, 0);
}

void CMessageListCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (currentIndex().isValid())
            ToggleTick(currentIndex().row());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex CMessageListCtrl::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // A table takes plain Home and End to the first and last column; in a
    // list of e-mails they mean the first and last e-mail. The column stays,
    // so that the list does not scroll sideways.
    if (cursorAction == MoveHome || cursorAction == MoveEnd) {
        const int count = model_->rowCount();
        if (count == 0)
            return {};
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model_->index(cursorAction == MoveHome ? 0 : count - 1, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void CMessageListCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        const QModelIndex hit = indexAt(pos);
        if (hit.isValid() && TickBoxRect(hit.row()).contains(pos))
            ToggleTick(hit.row());
    }
    // A click on the tick box also selects the row.
    QTableView::mousePressEvent(event);
}

void CMessageListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click of its own: a fast
    // double click on a tick box leaves it as it was. (Handled here rather
    // than posted, so that its release can never overtake it.)
    mousePressEvent(event);
}
