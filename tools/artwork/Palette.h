#pragma once
// The colours every piece of Quillmend's artwork is drawn from, so that the
// header, the buttons, the status strip and the small images match.

#include <QColor>

namespace artwork {

inline const QColor kBand(106, 160, 216);         // button band, list header, gaps
inline const QColor kMagenta(255, 0, 255);        // transparent in image lists
inline const QColor kNavy(20, 50, 100);
inline const QColor kHeaderTop(24, 60, 118);
inline const QColor kHeaderBottom(74, 128, 192);
inline const QColor kHeaderText(255, 255, 255);
inline const QColor kHeaderSoftText(200, 223, 247);
inline const QColor kAmber(255, 173, 24);         // the hover colour of the skin
inline const QColor kAmberLight(255, 236, 202);
inline const QColor kPaper(250, 252, 255);
inline const QColor kPaperShade(214, 228, 244);
inline const QColor kOutline(36, 78, 138);
inline const QColor kGreen(40, 160, 70);
inline const QColor kFolder(246, 196, 72);
inline const QColor kFolderDark(196, 138, 28);

} // namespace artwork
