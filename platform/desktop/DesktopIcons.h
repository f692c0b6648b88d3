#pragma once
// The desktop's icon services as the handlers use them: the icon the
// desktop shows for a file's type, and the icon a file carries inside it.
// The readers behind them take any bytes safely.
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <string>

// The desktop's icon for the file, drawn at width x height over the
// background colour and returned as the bytes of a 32-bit BMP file. Empty
// when there is no icon. UI thread only (the icon theme is not
// thread-safe).
QByteArray fileIconPicture(const std::string& path, int width = 32, int height = 32,
                           const QColor& background = Qt::white);

// The picture of the file's first embedded icon (executable, library or
// .ico file), the image nearest to size x size; null when there is none.
QImage firstEmbeddedIcon(const std::string& path, int size = 32);
