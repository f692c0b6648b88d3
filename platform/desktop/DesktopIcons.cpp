#include "platform/desktop/DesktopIcons.h"

#include "platform/desktop/DibImage.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>

QByteArray fileIconPicture(const std::string& path, int width, int height, const QColor& background) {
    QByteArray result;
    if (width <= 0 || height <= 0)
        return result;
    QFileIconProvider provider;
    QIcon icon = provider.icon(QFileInfo(QString::fromStdString(path)));
    if (icon.isNull())
        return result;
    QImage surface(width, height, QImage::Format_RGB32);
    surface.fill(background);
    {
        QPainter painter(&surface);
        icon.paint(&painter, QRect(0, 0, width, height));
    }
    DibImage dib;
    if (dib.capture(surface, surface.rect(), 32))
        result = dib.bmpFile();
    return result;
}
