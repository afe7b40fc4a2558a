#pragma once
// Qt tests: one QApplication for the whole test program, made before the
// first test runs (link support/QtTestApp.cpp), and helpers to look at what
// a widget shows.

#include <QImage>
#include <QString>
#include <QWidget>

namespace testsupport {

// What `widget` shows now, painted afresh, as an RGB32 image.
QImage Grab(QWidget& widget);

// Saves `image` as <screenshot folder>/<name>.png for people to look at;
// returns the path written (empty when that failed).
QString SaveScreenshot(const QImage& image, const QString& name);

} // namespace testsupport
