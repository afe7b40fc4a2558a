#include "CMainButton.h"

#include "res/resource.h"
#include "ui/ButtonSkin.h"

#include <QCoreApplication>

namespace {

void ReleaseSharedSkin() {
    // The pixmap must not outlive the application object.
    CMainButton::SharedSkin().Unload();
}

} // namespace

ButtonSkin& CMainButton::SharedSkin() {
    static ButtonSkin skin;
    return skin;
}

CMainButton::CMainButton(QWidget* parent) : CCoolButton(&SharedSkin(), parent) {
    ButtonSkin& skin = SharedSkin();
    if (!skin.IsLoaded()) {
        skin.LoadSkin(IDB_BUTTON_SKIN, 22, 22, 4, 4);
        qAddPostRoutine(ReleaseSharedSkin);
    }
    SetStateTextColor(kNormal, QColor(255, 255, 255));
    SetStateTextColor(kHover, QColor(255, 255, 255));
    SetStateTextColor(kPressed, QColor(255, 255, 255));
    SetStateTextColor(kDisabled, QColor(96, 96, 96));
}
