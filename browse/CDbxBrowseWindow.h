#pragma once
// The browse window between the main dialog's button band and its status
// line. For now an empty pane in the band colour; the tree, the message list
// and the preview move in here later.

#include <QWidget>

class CDbxBrowseWindow : public QWidget {
    Q_OBJECT
public:
    // An empty pane that fills itself with the band colour, RGB(106, 160, 216).
    explicit CDbxBrowseWindow(QWidget* parent = nullptr);
    ~CDbxBrowseWindow() override;
};
