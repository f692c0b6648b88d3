#pragma once
#include <QByteArray>
#include <QColor>

#include <string>

// The desktop's icon for the file, drawn at width x height over the
// background colour and returned as the bytes of a 32-bit BMP file. Empty
// when there is no icon. Runs on the UI thread.
QByteArray fileIconPicture(const std::string& path, int width = 32, int height = 32,
                           const QColor& background = Qt::white);
