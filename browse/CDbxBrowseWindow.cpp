#include "CDbxBrowseWindow.h"

#include <QPalette>

CDbxBrowseWindow::CDbxBrowseWindow(QWidget* parent) : QWidget(parent) {
    // The band colour also shows in the gaps between the panes.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(106, 160, 216));
    setPalette(pal);
    setAutoFillBackground(true);
}

CDbxBrowseWindow::~CDbxBrowseWindow() = default;
