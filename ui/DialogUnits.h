#pragma once
// Dialog templates give sizes in dialog units: a quarter of the average
// character width across, an eighth of the character height down. With the
// program's 8-point dialog font that is 1.5 px across and 1.625 px down (the
// progress window's 310 x 17 units are 465 x 28 px).

#include <QRect>
#include <QSize>

namespace ui {

constexpr int DluX(int units)
{
    return (units * 3 + 1) / 2;
}

constexpr int DluY(int units)
{
    return (units * 13 + 4) / 8;
}

// The rectangle of a control placed at (x, y), w x h dialog units.
constexpr QRect DluRect(int x, int y, int w, int h)
{
    return QRect(DluX(x), DluY(y), DluX(w), DluY(h));
}

constexpr QSize DluSize(int w, int h)
{
    return QSize(DluX(w), DluY(h));
}

} // namespace ui
