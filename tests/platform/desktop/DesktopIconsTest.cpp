#include "platform/desktop/DesktopIcons.h"
#include "platform/desktop/DibImage.h"
#include "platform/desktop/ExecutableIcon.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestIcons.h"
#include "tests/support/WindowsFileBytes.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(ExecutableIcon, FindsTheFirstGroupIconOfAPeImage) {
    const std::string pe = peWithIcon(iconEntryData(redSquare()));
    QByteArray ico = iconFileFromExecutable(QByteArray::fromStdString(pe));
    ASSERT_FALSE(ico.isEmpty());
    QImage decoded = QImage::fromData(ico, "ico");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded.size(), QSize(16, 16));
    EXPECT_EQ(QColor(decoded.pixel(8, 8)), QColor(200, 0, 0));

    TempFolder folder;
    folder.write("tool.exe", pe);
    QImage fromFile = firstEmbeddedIcon(folder.file("tool.exe"));
    ASSERT_FALSE(fromFile.isNull());
    EXPECT_EQ(QColor(fromFile.pixel(3, 3)), QColor(200, 0, 0));
}

TEST(ExecutableIcon, TruncatedAndCorruptImagesGiveNothing) {
    const std::string pe = peWithIcon(iconEntryData(redSquare()));
    for (std::size_t n = 0; n + 1 < pe.size(); n += 3)
        EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(pe.substr(0, n))).isEmpty()) << n;
    std::string looping = pe;
    putU32(looping, 0x200 + 20, 0x80000000u);  // the type entry points back at the root
    EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(looping)).isEmpty());
    std::string farOut = pe;
    putU32(farOut, 0x3C, 0x7FFFFFF0u);
    EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(farOut)).isEmpty());
    EXPECT_TRUE(iconFileFromExecutable(QByteArray(5000, 'M')).isEmpty());
}

TEST(DibImage, CapturesA32BitBmpWithStandardHeaders) {
    QImage surface(5, 3, QImage::Format_RGB32);
    surface.fill(QColor(10, 20, 30));
    surface.setPixel(0, 0, qRgb(255, 0, 0));
    DibImage dib;
    ASSERT_TRUE(dib.capture(surface, surface.rect(), 32));
    QByteArray bmp = dib.bmpFile();
    ASSERT_EQ(bmp.size(), 14 + 40 + 5 * 3 * 4);
    EXPECT_EQ(bmp.left(2), "BM");
    auto u32 = [&](int at) { return quint32(uchar(bmp[at])) | quint32(uchar(bmp[at + 1])) << 8 |
                                    quint32(uchar(bmp[at + 2])) << 16 | quint32(uchar(bmp[at + 3])) << 24; };
    EXPECT_EQ(u32(2), quint32(bmp.size()));
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 5u);
    EXPECT_EQ(u32(22), 3u);
    EXPECT_EQ(uchar(bmp[28]), 32);
    // Bottom-up rows: the top-left pixel is in the last row, blue first.
    const int topLeft = 54 + 2 * 5 * 4;
    EXPECT_EQ(uchar(bmp[topLeft + 2]), 255);
    EXPECT_EQ(uchar(bmp[topLeft]), 0);
    QImage back = QImage::fromData(bmp, "BMP");
    EXPECT_EQ(QColor(back.pixel(0, 0)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(back.pixel(4, 2)), QColor(10, 20, 30));
}

TEST(DibImage, OtherDepthsPadRowsAndReadBack) {
    QImage surface(7, 2, QImage::Format_RGB32);
    surface.fill(Qt::white);
    surface.setPixel(6, 1, qRgb(0, 0, 0));
    surface.setPixel(1, 0, qRgb(255, 0, 0));
    for (int bits : {24, 16, 8, 4}) {
        DibImage dib;
        ASSERT_TRUE(dib.capture(surface, surface.rect(), bits)) << bits;
        QImage back = QImage::fromData(dib.bmpFile(), "BMP");
        ASSERT_FALSE(back.isNull()) << bits;
        EXPECT_EQ(QColor(back.pixel(6, 1)), QColor(0, 0, 0)) << bits;
        EXPECT_EQ(QColor(back.pixel(0, 0)).lightness(), bits == 16 ? 248 : 255) << bits;
        EXPECT_EQ(QColor(back.pixel(1, 0)).red(), bits == 16 ? 248 : 255) << bits;
    }
    DibImage mono;
    ASSERT_TRUE(mono.capture(surface, surface.rect(), 1));
    EXPECT_EQ(mono.block().size(), 40 + 2 * 4 + 2 * 4);
    QImage back = QImage::fromData(mono.bmpFile(), "BMP");
    EXPECT_EQ(QColor(back.pixel(6, 1)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(back.pixel(5, 1)), QColor(255, 255, 255));
}

TEST(DibImage, RefusesOtherDepthsAndRectanglesOutsideTheSurface) {
    QImage surface(4, 4, QImage::Format_RGB32);
    surface.fill(Qt::blue);
    DibImage dib;
    EXPECT_FALSE(dib.capture(surface, surface.rect(), 2));
    EXPECT_FALSE(dib.capture(surface, QRect(2, 2, 4, 4), 32));
    EXPECT_FALSE(dib.capture(surface, QRect(), 32));
    EXPECT_TRUE(dib.bmpFile().isEmpty());
    ASSERT_TRUE(dib.capture(surface, QRect(1, 1, 2, 2), 32));
    EXPECT_EQ(dib.width(), 2);
    ASSERT_TRUE(dib.capture(surface, QRect(0, 0, 3, 1), 8));  // re-created for the new shape
    EXPECT_EQ(dib.block().size(), 40 + 256 * 4 + 4);
}
