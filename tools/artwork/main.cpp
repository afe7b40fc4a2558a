// Draws every image of Quillmend's resources and writes them as PNG files
// named after their resource ids into the given folder (default: res/images),
// and the program icon in the desktop's icon-theme sizes into
// packaging/icons/hicolor. Run by hand from the source root after changing
// the artwork; the PNG files are committed.

#include "Bitmaps.h"
#include "Icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("res/images");
    QDir().mkpath(folder);
    const std::vector<std::pair<QString, std::function<QImage()>>> images = {
        {QStringLiteral("128_16"), [] { return artwork::ProgramIcon(16); }},
        {QStringLiteral("128_32"), [] { return artwork::ProgramIcon(32); }},
        {QStringLiteral("128_48"), [] { return artwork::ProgramIcon(48); }},
        {QStringLiteral("129"), artwork::HeaderBitmap},
        {QStringLiteral("130"), artwork::ButtonSkinBitmap},
        {QStringLiteral("132"), artwork::StatusBitmap},
        {QStringLiteral("134"), artwork::SearchIcon},
        {QStringLiteral("135"), artwork::SaveIcon},
        {QStringLiteral("136"), artwork::LoadIcon},
        {QStringLiteral("138"), artwork::HelpIcon},
        {QStringLiteral("139"), artwork::DisksIcon},
        {QStringLiteral("141"), artwork::SortArrowsBitmap},
        {QStringLiteral("142"), artwork::SmallIconsBitmap},
        {QStringLiteral("144"), artwork::TickStatesBitmap},
        {QStringLiteral("145"), artwork::TreeBitmap},
    };
    int failures = 0;
    for (const auto& [name, draw] : images) {
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!draw().save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    // The installed icon, in the sizes desktops ask the hicolor theme for.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("packaging/icons/hicolor/%1x%1/apps").arg(size);
        QDir().mkpath(dir);
        if (!artwork::ProgramIcon(size).save(dir + QStringLiteral("/quillmend.png"), "PNG")) {
            std::fprintf(stderr, "cannot write the %d px program icon\n", size);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
