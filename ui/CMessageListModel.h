#pragma once
// The message list's table model. It stores no e-mail data of its own: every
// cell is answered on request from the list's rows (the view asks only for
// the rows it draws), and the number of rows the view knows of changes only
// when the list says so, as with a virtual list's item count.

#include "ui/ListRow.h"

namespace mailtext {
class HeaderTextCache;
}

#include <QAbstractTableModel>
#include <QPixmap>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class CMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kColumnTick = 0, kColumnFrom, kColumnTo, kColumnSubject, kColumnDate, kColumnStatus, kColumnCount };

    // Column 0 data: the tick (bool) and the small icon's image index (0 an
    // e-mail, 1 an e-mail with attachment).
    static constexpr int kTickedRole = Qt::UserRole + 10;
    static constexpr int kIconRole = Qt::UserRole + 11;

    static const QColor kDeletedColour;  // RGB(255, 0, 0)

    // Answers from `rows` and, for the header texts, from `texts`; both must
    // outlive the model. No items yet.
    CMessageListModel(const std::vector<ListRow>& rows, mailtext::HeaderTextCache& texts, QObject* parent = nullptr);
    ~CMessageListModel() override;

    // The number of items the view shows; set only by SetItemCount.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // A cell of the row at that display index. An index without a row (the
    // item count is out of date) answers nothing and reads no record.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The column titles and sort marks: title (Qt::DisplayRole), format
    // flags (CCoolHeaderCtrl::kFormatRole) and bitmap (Qt::DecorationRole).
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Stores one of those three for a column; false for anything else.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    // Tells the view that there are `count` items now (negative: none). The
    // view drops its selection and asks for what it shows afresh.
    void SetItemCount(int count);
    // Tells the view that `count` items were added at the end; its
    // selection stays.
    void AddItems(int count);
    // Tells the view that the rows' contents or order changed.
    void RowsChanged();

    // The text of `column` for `row`: the three header texts as a person
    // reads them (encoded words decoded, see mailtext/HeaderText.h), the
    // date, "Existing"/"Deleted" ("Moved"/"Moved, deleted" for an e-mail
    // found in moved blocks); empty for column 0.
    QString CellText(const ListRow& row, int column) const;
    // A local file time as "year-month-day hour:minute:second" without
    // leading zeros; empty for 0 and for a time outside the calendar.
    static QString DateText(std::uint64_t date);

    // How many cells the view has asked for so far (for measurements).
    std::uint64_t DataRequests() const { return dataRequests_; }

private:
    struct HeaderItem {
        QString title;
        unsigned format = 0;
        QPixmap bitmap;
    };

    const std::vector<ListRow>& rows_;
    mailtext::HeaderTextCache& texts_;
    int itemCount_ = 0;
    std::array<HeaderItem, kColumnCount> header_;
    mutable std::uint64_t dataRequests_ = 0;
};
