#include "ui/EnginePath.h"

#include "dbx/DisplayText.h"
#include "platform/Directory.h"
#include "platform/FolderList.h"

#include <QFile>
#include <QStringList>

namespace ui {

std::string EnginePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QString QtPath(const std::string& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdString(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

QString ShownPath(const std::string& path)
{
    return QString::fromStdString(dbx::PathToDisplay(path));
}

DialogPath PathFromDialog(const QString& text)
{
    DialogPath found;
    const std::string whole = EnginePath(text);
    // Names that are text, and every name on Windows, are found as they are.
    if (platform::Exists(whole) || !text.startsWith(QLatin1Char('/'))) {
        if (platform::Exists(whole))
            found.path = whole;
        return found;
    }
    std::string path = "/";
    for (const QString& part : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::string exact = platform::ChildPath(path, EnginePath(part));
        if (platform::Exists(exact)) {
            path = exact;
            continue;
        }
        std::string match;
        int matches = 0;
        for (const platform::FolderEntry& entry : platform::ListFolder(path)) {
            if (QFile::decodeName(QByteArray::fromStdString(entry.name)) == part) {
                match = entry.name;
                ++matches;
            }
        }
        if (matches != 1) {
            found.ambiguous = matches > 1;
            return found;
        }
        path = platform::ChildPath(path, match);
    }
    found.path = path;
    return found;
}

} // namespace ui
