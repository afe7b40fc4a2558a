#pragma once
// Sizes and positions of disks and images as people read them: "1.2 GB".

#include <QLocale>
#include <QString>

#include <cstdint>

namespace ui {

// `bytes` in the largest unit of 1024 that keeps it at least 1, with one
// decimal ("512 bytes", "1.2 GB"), in the user's number format.
inline QString SizeText(std::uint64_t bytes)
{
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace ui
