#include "Images.h"

#include "resource.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitQuillmendResources() {
    Q_INIT_RESOURCE(res);
}

namespace res {
namespace {

void EnsureResources() {
    static const bool done = (InitQuillmendResources(), true);
    (void)done;
}

QString PathOf(const QString& name) {
    return QStringLiteral(":/images/%1.png").arg(name);
}

} // namespace

QPixmap LoadBitmap(int id) {
    EnsureResources();
    switch (id) {
    case IDB_HEADER:
    case IDB_BUTTON_SKIN:
    case IDB_STATUS:
    case IDB_SORT_ARROWS:
    case IDB_SMALL_ICONS:
    case IDB_TICK_STATES:
    case IDB_TREE:
        return QPixmap(PathOf(QString::number(id)));
    default:
        return QPixmap();
    }
}

QPixmap LoadIconPixmap(int id) {
    EnsureResources();
    if (id == IDR_MAINFRAME)
        return QPixmap(PathOf(QStringLiteral("128_32")));
    switch (id) {
    case IDI_SEARCH:
    case IDI_SAVE:
    case IDI_LOAD:
    case IDI_HELP:
    case IDI_DISKS:
        return QPixmap(PathOf(QString::number(id)));
    default:
        return QPixmap();
    }
}

QIcon LoadIcon(int id) {
    EnsureResources();
    if (id == IDR_MAINFRAME) {
        QIcon icon;
        for (int size : {16, 32, 48})
            icon.addFile(PathOf(QStringLiteral("128_%1").arg(size)), QSize(size, size));
        return icon;
    }
    const QPixmap pixmap = LoadIconPixmap(id);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

QImage MaskedImage(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb opaque = line[x] | 0xFF000000u;
            line[x] = opaque == kMaskColour ? 0u : opaque;
        }
    }
    return out;
}

QPixmap MaskedPixmap(const QPixmap& pixmap) {
    return pixmap.isNull() ? QPixmap() : QPixmap::fromImage(MaskedImage(pixmap.toImage()));
}

} // namespace res
