#pragma once
// The browse window between the main dialog's button band and its status
// line. For now it holds only the message list, in its place at the top
// right; the tree and the preview move in here later.

#include "ui/CMessageListCtrl.h"

#include <QWidget>

class CDbxBrowseWindow : public QWidget {
    Q_OBJECT
public:
    // Right edge of the (future) tree: the list starts 3 px right of it.
    static constexpr int kSplitX = 200;

    // A pane in the band colour, RGB(106, 160, 216), holding the message list.
    explicit CDbxBrowseWindow(QWidget* parent = nullptr);
    ~CDbxBrowseWindow() override;

    CMessageListCtrl& MessageList() { return messageList_; }
    const CMessageListCtrl& MessageList() const { return messageList_; }

    // Repaints the parent's status line: its bottom 23 px.
    void InvalidateParentStatusStrip();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutPanes();

    CMessageListCtrl messageList_;
};
