#pragma once
// The program icon and the 32 x 32 icons of the main dialog's buttons.

#include <QImage>

namespace artwork {

QImage ProgramIcon(int size);   // icon 128 at 16, 32 or 48 px
QImage SearchIcon();            // icon 134
QImage SaveIcon();              // icon 135
QImage LoadIcon();              // icon 136
QImage HelpIcon();              // icon 138
QImage DisksIcon();             // icon 139

} // namespace artwork
