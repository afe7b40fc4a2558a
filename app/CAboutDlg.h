#pragma once
// The About box: program icon, name and version, the notice line and OK,
// placed as its dialog template places them (297 x 51 dialog units).

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The box and its controls at their template sizes; the notice line
    // wraps within its place when a translation or a larger font needs it.
    explicit CAboutDlg(QWidget* parent = nullptr);
};
