#pragma once
// Icon pictures and the bytes of files that hold them, for the icon tests.
#include "tests/support/WindowsFileBytes.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// The image data of the first entry of an .ico file Qt writes.
inline QByteArray iconEntryData(const QImage& picture) {
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    EXPECT_TRUE(writer.write(picture));
    std::string b = ico.toStdString();
    auto u32 = [&](std::size_t at) {
        return unsigned(uchar(b[at])) | unsigned(uchar(b[at + 1])) << 8 | unsigned(uchar(b[at + 2])) << 16 |
               unsigned(uchar(b[at + 3])) << 24;
    };
    return ico.mid(u32(6 + 12), u32(6 + 8));
}

inline std::string peWithIcon(const QByteArray& iconData) {
    return testsupport::peWithIcon(iconData.toStdString());
}

inline QImage redSquare() {
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(QColor(200, 0, 0));
    return picture;
}

} // namespace testsupport
