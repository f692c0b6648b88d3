#include "app/forms/Pictures.h"

#include <gtest/gtest.h>

#include <QList>
#include <QSize>

namespace {

// A usable icon has a see-through background and an opaque picture.
bool hasClearAndSolidPixels(const QImage& image) {
    bool clear = false, solid = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            int alpha = qAlpha(image.pixel(x, y));
            clear = clear || alpha == 0;
            solid = solid || alpha == 255;
        }
    return clear && solid;
}

} // namespace

TEST(Pictures, ListIconsAreDistinct32PixelPicturesWithAlpha) {
    ASSERT_EQ(listIconCount(), 12);
    QList<QImage> images;
    for (int i = 0; i < listIconCount(); ++i) {
        QImage image = listIconImage(i);
        ASSERT_EQ(image.size(), QSize(32, 32)) << i;
        EXPECT_TRUE(image.hasAlphaChannel()) << i;
        EXPECT_TRUE(hasClearAndSolidPixels(image)) << i;
        for (int j = 0; j < images.size(); ++j)
            EXPECT_NE(image, images[j]) << i << " looks like " << j;
        images.append(image);
    }
    EXPECT_TRUE(listIconImage(-1).isNull());
    EXPECT_TRUE(listIconImage(12).isNull());
}

TEST(Pictures, ToolbarPicturesAreDistinct24PixelPictures) {
    QList<QImage> images;
    for (int i = 0; i < 4; ++i) {
        QPixmap pixmap = toolbarPicture(i);
        ASSERT_EQ(pixmap.size(), QSize(24, 24)) << i;
        QImage image = pixmap.toImage();
        EXPECT_TRUE(hasClearAndSolidPixels(image)) << i;
        for (int j = 0; j < images.size(); ++j)
            EXPECT_NE(image, images[j]) << i << " looks like " << j;
        images.append(image);
    }
    EXPECT_TRUE(toolbarPicture(4).isNull());
}

TEST(Pictures, ProgramIconHasAllFourSizes) {
    QList<QSize> sizes = programIcon().availableSizes();
    for (int size : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        EXPECT_TRUE(hasClearAndSolidPixels(programIconImage(size))) << size;
    }
}
