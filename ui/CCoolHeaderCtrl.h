#pragma once
// The message list's column header in the program's colours: a flat blue
// band, each title centred in a raised frame (cut with an ellipsis), the
// item's bitmap (the sort arrow) left of its title, and a sunken frame on a
// title while it is pressed. Clicks, resizing and the signals to the list
// work as in any QHeaderView.
//
// What each item shows comes from the model's header data, as the items of
// a native header hold it: the title (Qt::DisplayRole), the bitmap
// (Qt::DecorationRole, a QPixmap) and the format flags (kFormatRole).

#include <QColor>
#include <QHeaderView>

class CCoolHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    // Header data role of an item's format flags (unsigned).
    static constexpr int kFormatRole = Qt::UserRole + 1;
    // Format flags: the item shows its bitmap (either flag; the bitmap always
    // stands left of the title).
    static constexpr unsigned kHdfBitmapOnRight = 0x1000;
    static constexpr unsigned kHdfBitmap = 0x2000;

    // Colours of the band, the frames and the titles.
    static const QColor kBandColour;   // RGB(106, 160, 216)
    static const QColor kLightColour;  // white: raised top/left, sunken bottom/right
    static const QColor kShadeColour;  // RGB(128, 128, 128)

    // Room taken off each side of an item before its bitmap and title.
    static constexpr int kTextMargin = 5;
    // Gap between the bitmap and the title.
    static constexpr int kBitmapGap = 2;

    // A horizontal header with clickable, resizable sections.
    explicit CCoolHeaderCtrl(QWidget* parent = nullptr);
    ~CCoolHeaderCtrl() override;

    // The rectangle of item `logicalIndex` in the viewport (empty when the
    // item is hidden or does not exist).
    QRect ItemRect(int logicalIndex) const;
    // The item being pressed (the sunken one), -1 when none.
    int PressedItem() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void PaintItem(QPainter& painter, int logicalIndex, const QRect& itemRect) const;
};
