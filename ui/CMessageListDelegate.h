#pragma once
// Draws the message list's cells: column 0 shows the tick box and the small
// e-mail icon side by side from the list's image strips; the text columns
// are drawn as usual (red for deleted e-mails comes from the model).

#include <QPixmap>
#include <QStyledItemDelegate>

#include <vector>

class CMessageListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Tick-box images (index 1 the empty box, 3 the green tick) and small
    // icons (index 0 an e-mail, 1 with attachment), transparent where the
    // artwork is magenta. Missing images draw nothing.
    CMessageListDelegate(std::vector<QPixmap> stateImages, std::vector<QPixmap> smallIcons,
                         QObject* parent = nullptr);
    ~CMessageListDelegate() override;

    // Image index of the tick box for a ticked or an unticked row.
    static constexpr int kTickedImage = 3;
    static constexpr int kUntickedImage = 1;
    // Width of the tick-box image; the small icon starts right of it.
    static constexpr int kStateImageWidth = 16;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Column 0 needs room for the tick box and the icon side by side.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static void DrawCentred(QPainter& painter, const QPixmap& image, int x, const QRect& cell);

    std::vector<QPixmap> stateImages_;
    std::vector<QPixmap> smallIcons_;
};
