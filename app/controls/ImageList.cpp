#include "app/controls/ImageList.h"

#include <QImageReader>
#include <QBuffer>
#include <QFile>

namespace ui {
namespace {

QImage withTransparentColour(QImage image, QRgb colour) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = colour & 0x00FFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0x00FFFFFF) == key)
                line[x] = 0;
    }
    return image;
}

} // namespace

int ImageList::addImage(const QImage& image) {
    if (image.isNull())
        return -1;
    images_.push_back(image.convertToFormat(QImage::Format_ARGB32));
    return imageCount() - 1;
}

int ImageList::addPicture(const QByteArray& picture, const QColor* transparent) {
    QImage image;
    if (!image.loadFromData(picture))
        return -1;
    QRgb key = transparent ? transparent->rgb() : image.pixel(0, 0);
    return addImage(withTransparentColour(image, key));
}

int ImageList::addIconFromFile(const std::string& fileName, int iconIndex) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QImageReader reader(&file);
    if (iconIndex > 0 && !reader.jumpToImage(iconIndex))
        return -1;
    QImage image = reader.read();
    return addImage(image);
}

} // namespace ui
