#include "CMessageListModel.h"

#include "mailtext/HeaderTextCache.h"
#include "platform/FileTime.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/CCoolHeaderCtrl.h"

#include <QColor>

const QColor CMessageListModel::kDeletedColour(255, 0, 0);

CMessageListModel::CMessageListModel(const std::vector<ListRow>& rows, mailtext::HeaderTextCache& texts,
                                     QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), texts_(texts) {}

CMessageListModel::~CMessageListModel() = default;

int CMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : itemCount_;
}

int CMessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

Qt::ItemFlags CMessageListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

QVariant CMessageListModel::data(const QModelIndex& index, int role) const {
    ++dataRequests_;
    // The rows decide, not the item count: after the rows were dropped the
    // view may still ask for items it believes exist, and the records behind
    // dropped rows may be gone.
    const int i = index.row();
    if (!index.isValid() || i < 0 || static_cast<std::size_t>(i) >= rows_.size())
        return {};
    const ListRow& row = rows_[static_cast<std::size_t>(i)];
    if (!row.record)
        return {};
    const dbx::EmailRecord& record = *row.record;
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == kColumnTick ? QVariant() : QVariant(CellText(row, index.column()));
    case Qt::ForegroundRole:
        return record.isDeleted ? QVariant(kDeletedColour) : QVariant();
    case kTickedRole:
        return row.ticked != 0;
    case kIconRole:
        return record.hasAttachment ? 1 : 0;
    default:
        return {};
    }
}

QString CMessageListModel::CellText(const ListRow& row, int column) const {
    const dbx::EmailRecord& record = *row.record;
    const auto header = [&](dbx::HeaderField field) {
        const std::string_view text = texts_.Text(record, row.messageIndex, field);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    };
    switch (column) {
    case kColumnFrom:
        return header(dbx::HeaderField::kFrom);
    case kColumnTo:
        return header(dbx::HeaderField::kTo);
    case kColumnSubject:
        return header(dbx::HeaderField::kSubject);
    case kColumnDate:
        return DateText(record.date);
    case kColumnStatus:
        if (record.moved)
            return res::Text(record.isDeleted ? IDS_STATUS_MOVED_DELETED : IDS_STATUS_MOVED);
        return res::Text(record.isDeleted ? IDS_STATUS_DELETED : IDS_STATUS_EXISTING);
    default:
        return {};
    }
}

QString CMessageListModel::DateText(std::uint64_t date) {
    // The stored time is already local: shown as it is, no zone applied. A
    // time the calendar cannot express shows nothing rather than garbage.
    platform::SystemTime st;
    if (date == 0 || !platform::FileTimeToSystemTime(date, st))
        return {};
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(st.year)
        .arg(st.month)
        .arg(st.day)
        .arg(st.hour)
        .arg(st.minute)
        .arg(st.second);
}

QVariant CMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    const HeaderItem& item = header_[static_cast<std::size_t>(section)];
    switch (role) {
    case Qt::DisplayRole:
        return item.title;
    case Qt::DecorationRole:
        return item.bitmap.isNull() ? QVariant() : QVariant(item.bitmap);
    case CCoolHeaderCtrl::kFormatRole:
        return item.format;
    default:
        return {};
    }
}

bool CMessageListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return false;
    HeaderItem& item = header_[static_cast<std::size_t>(section)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        item.title = value.toString();
        break;
    case Qt::DecorationRole:
        item.bitmap = value.value<QPixmap>();
        break;
    case CCoolHeaderCtrl::kFormatRole:
        item.format = value.toUInt();
        break;
    default:
        return false;
    }
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

void CMessageListModel::SetItemCount(int count) {
    beginResetModel();
    itemCount_ = count < 0 ? 0 : count;
    endResetModel();
}

void CMessageListModel::AddItems(int count) {
    if (count <= 0)
        return;
    beginInsertRows(QModelIndex(), itemCount_, itemCount_ + count - 1);
    itemCount_ += count;
    endInsertRows();
}

void CMessageListModel::RowsChanged() {
    if (itemCount_ > 0)
        emit dataChanged(index(0, 0), index(itemCount_ - 1, kColumnCount - 1));
}
