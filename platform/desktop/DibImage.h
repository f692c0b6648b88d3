#pragma once
// An in-memory device-independent bitmap: one byte block laid out as a
// packed BMP bitmap (40-byte information header, colour table, bottom-up
// pixel rows padded to 4 bytes).
#include <QByteArray>
#include <QImage>
#include <QRect>

class DibImage {
public:
    // Captures the rectangle of the surface at 1, 4, 8, 16, 24 or 32 bits
    // per pixel; other depths, an empty rectangle or one outside the
    // surface are refused. The block is re-created when the size or the
    // depth differ from what it holds.
    bool capture(const QImage& surface, const QRect& rect, int bitsPerPixel);

    // The held block behind the standard 14-byte file header: a complete
    // BMP file. Empty before a successful capture.
    QByteArray bmpFile() const;

    const QByteArray& block() const { return block_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int bitsPerPixel() const { return bits_; }

private:
    void createBlock(int width, int height, int bits);
    int colourCount() const;
    int rowBytes() const;
    void writePalette(const QList<QRgb>& palette);
    void writeRows(const QImage& pixels);

    QByteArray block_;
    int width_ = 0;
    int height_ = 0;
    int bits_ = 0;
};
