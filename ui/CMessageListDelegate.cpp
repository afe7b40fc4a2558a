#include "CMessageListDelegate.h"

#include "ui/CMessageListModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <utility>

CMessageListDelegate::CMessageListDelegate(std::vector<QPixmap> stateImages, std::vector<QPixmap> smallIcons,
                                           QObject* parent)
    : QStyledItemDelegate(parent), stateImages_(std::move(stateImages)), smallIcons_(std::move(smallIcons)) {}

CMessageListDelegate::~CMessageListDelegate() = default;

void CMessageListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    // Rows are selected whole; a focus frame around single cells would cut
    // the row into pieces.
    opt.state &= ~QStyle::State_HasFocus;
    if (index.column() != CMessageListModel::kColumnTick) {
        QStyledItemDelegate::paint(painter, opt, index);
        return;
    }
    // Column 0: the row's background (selection included), then the images.
    initStyleOption(&opt, index);
    opt.text.clear();
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDisplay;
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QVariant ticked = index.data(CMessageListModel::kTickedRole);
    if (!ticked.isValid())
        return;  // no row behind this item: nothing to show
    const int state = ticked.toBool() ? kTickedImage : kUntickedImage;
    const int icon = index.data(CMessageListModel::kIconRole).toInt();
    const QRect cell = option.rect;
    painter->save();
    painter->setClipRect(cell);
    if (state < static_cast<int>(stateImages_.size()))
        DrawCentred(*painter, stateImages_[static_cast<std::size_t>(state)], cell.left(), cell);
    if (icon >= 0 && icon < static_cast<int>(smallIcons_.size()))
        DrawCentred(*painter, smallIcons_[static_cast<std::size_t>(icon)], cell.left() + kStateImageWidth, cell);
    painter->restore();
}

QSize CMessageListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize hint = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == CMessageListModel::kColumnTick) {
        int width = kStateImageWidth;
        int height = 0;
        for (const QPixmap& image : stateImages_)
            height = std::max(height, image.height());
        int iconWidth = 0;
        for (const QPixmap& icon : smallIcons_) {
            iconWidth = std::max(iconWidth, icon.width());
            height = std::max(height, icon.height());
        }
        hint = QSize(width + iconWidth + 2, std::max(hint.height(), height));
    }
    return hint;
}

void CMessageListDelegate::DrawCentred(QPainter& painter, const QPixmap& image, int x, const QRect& cell) {
    if (image.isNull())
        return;
    painter.drawPixmap(x, cell.top() + (cell.height() - image.height()) / 2, image);
}
