#pragma once
// Paths handed from the windows to the engine and the platform layer.

#include <QFile>
#include <QString>

#include <string>

namespace ui {

// `path` as the engine takes it: the bytes of the name on disk (UTF-8 on
// Windows, where the platform layer widens it).
inline std::string EnginePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

} // namespace ui
