#pragma once
// Paths handed between the windows and the engine and platform layer.

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

// The other way: a path of the engine's (as above) for Qt.
inline QString QtPath(const std::string& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdString(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

} // namespace ui
