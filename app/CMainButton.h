#pragma once
// A command button of the main dialog: a CCoolButton on the one skin all main
// buttons share (bitmap 130), with white captions (dark grey when disabled).

#include "ui/CCoolButton.h"

class ButtonSkin;

class CMainButton : public CCoolButton {
    Q_OBJECT
public:
    // Loads the shared skin on first use; the skin lives until the
    // application object goes.
    explicit CMainButton(QWidget* parent = nullptr);

    // The skin shared by every CMainButton.
    static ButtonSkin& SharedSkin();
};
