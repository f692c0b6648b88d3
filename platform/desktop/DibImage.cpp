#include "platform/desktop/DibImage.h"

#include <cstring>

namespace {

constexpr int kInfoHeaderSize = 40;
constexpr int kFileHeaderSize = 14;

void putU16(char* at, quint32 v) {
    at[0] = char(v & 0xFF);
    at[1] = char((v >> 8) & 0xFF);
}

void putU32(char* at, quint32 v) {
    putU16(at, v & 0xFFFF);
    putU16(at + 2, v >> 16);
}

// Fixed palettes for the indexed depths: black and white, the sixteen
// standard colours, and a 6x6x6 colour cube followed by greys.
QList<QRgb> paletteFor(int bits) {
    QList<QRgb> palette;
    if (bits == 1) {
        palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else if (bits == 4) {
        const int levels[][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                 {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                 {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                 {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : levels)
            palette.append(qRgb(c[0], c[1], c[2]));
    } else if (bits == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette.append(qRgb(r * 51, g * 51, b * 51));
        for (int i = 0; palette.size() < 256; ++i)
            palette.append(qRgb(i * 6 + 8, i * 6 + 8, i * 6 + 8));
    }
    return palette;
}

bool acceptedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

} // namespace

int DibImage::colourCount() const {
    return bits_ <= 8 ? 1 << bits_ : 0;
}

int DibImage::rowBytes() const {
    return ((width_ * bits_ + 31) / 32) * 4;
}

void DibImage::createBlock(int width, int height, int bits) {
    width_ = width;
    height_ = height;
    bits_ = bits;
    const int pixelBytes = rowBytes() * height_;
    block_ = QByteArray(kInfoHeaderSize + colourCount() * 4 + pixelBytes, '\0');
    char* h = block_.data();
    putU32(h, kInfoHeaderSize);
    putU32(h + 4, static_cast<quint32>(width_));
    putU32(h + 8, static_cast<quint32>(height_));  // positive: bottom-up rows
    putU16(h + 12, 1);
    putU16(h + 14, static_cast<quint32>(bits_));
    putU32(h + 16, 0);  // BI_RGB
    putU32(h + 20, static_cast<quint32>(pixelBytes));
    putU32(h + 24, 3780);  // 96 dpi
    putU32(h + 28, 3780);
    putU32(h + 32, static_cast<quint32>(colourCount()));
}

void DibImage::writePalette(const QList<QRgb>& palette) {
    char* at = block_.data() + kInfoHeaderSize;
    for (int i = 0; i < colourCount(); ++i) {
        QRgb c = i < palette.size() ? palette[i] : 0;
        at[i * 4] = char(qBlue(c));
        at[i * 4 + 1] = char(qGreen(c));
        at[i * 4 + 2] = char(qRed(c));
        at[i * 4 + 3] = 0;
    }
}

void DibImage::writeRows(const QImage& pixels) {
    char* rows = block_.data() + kInfoHeaderSize + colourCount() * 4;
    for (int y = 0; y < height_; ++y) {
        char* row = rows + static_cast<qsizetype>(height_ - 1 - y) * rowBytes();
        std::memset(row, 0, static_cast<size_t>(rowBytes()));
        for (int x = 0; x < width_; ++x) {
            if (bits_ <= 8) {
                const int index = pixels.pixelIndex(x, y);
                const int perByte = 8 / bits_;
                const int shift = 8 - bits_ * (x % perByte + 1);
                row[x / perByte] = char(static_cast<uchar>(row[x / perByte]) | index << shift);
                continue;
            }
            const QRgb c = pixels.pixel(x, y);
            if (bits_ == 16) {
                putU16(row + x * 2, static_cast<quint32>((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3));
            } else {
                char* p = row + x * (bits_ / 8);
                p[0] = char(qBlue(c));
                p[1] = char(qGreen(c));
                p[2] = char(qRed(c));
            }
        }
    }
}

bool DibImage::capture(const QImage& surface, const QRect& rect, int bitsPerPixel) {
    if (!acceptedDepth(bitsPerPixel) || rect.isEmpty() || surface.isNull() || !surface.rect().contains(rect))
        return false;
    if (block_.isEmpty() || rect.width() != width_ || rect.height() != height_ || bitsPerPixel != bits_)
        createBlock(rect.width(), rect.height(), bitsPerPixel);
    QImage part = surface.copy(rect);
    if (bits_ <= 8) {
        const QList<QRgb> palette = paletteFor(bits_);
        writePalette(palette);
        part = part.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
    } else {
        part = part.convertToFormat(QImage::Format_RGB32);
    }
    writeRows(part);
    return true;
}

QByteArray DibImage::bmpFile() const {
    if (block_.isEmpty())
        return {};
    QByteArray file(kFileHeaderSize, '\0');
    char* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    putU32(h + 2, static_cast<quint32>(kFileHeaderSize + block_.size()));
    putU32(h + 10, static_cast<quint32>(kFileHeaderSize + kInfoHeaderSize + colourCount() * 4));
    return file + block_;
}
