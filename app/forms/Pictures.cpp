#include "app/forms/Pictures.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>

#include <cmath>
#include <cstring>

namespace {

// One palette for the whole set so the pictures look related.
const QColor kPageFill(255, 255, 255);
const QColor kPageBorder(141, 153, 166);
const QColor kPageFold(221, 227, 233);
const QColor kTextLine(169, 180, 192);
const QColor kSlate(91, 107, 125);
const QColor kGreen(46, 158, 79);
const QColor kBlue(43, 120, 228);
const QColor kRed(214, 69, 65);
const QColor kFolderBack(232, 163, 23);
const QColor kFolderFront(255, 201, 74);
const QColor kFolderEdge(201, 138, 12);

// A canvas of size x size pixels with painter units of size/units pixels.
class Canvas {
public:
    Canvas(int size, double units)
        : image_(size, size, QImage::Format_ARGB32_Premultiplied) {
        image_.fill(Qt::transparent);
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.scale(size / units, size / units);
    }
    QPainter& painter() { return painter_; }
    QImage take() {
        painter_.end();
        return image_;
    }

private:
    QImage image_;
    QPainter painter_;
};

// --- labels: a 5-pixel-high font, so labels stay sharp at 32 pixels and do
// not depend on the fonts installed.

struct Glyph {
    char letter;
    const char* rows[5];
};

const Glyph kGlyphs[] = {
    {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
    {'B', {"##.", "#.#", "##.", "#.#", "##."}},
    {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
    {'E', {"###", "#..", "##.", "#..", "###"}},
    {'G', {".##", "#..", "#.#", "#.#", ".##"}},
    {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
    {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'J', {"..#", "..#", "..#", "#.#", ".#."}},
    {'L', {"#..", "#..", "#..", "#..", "###"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
    {'N', {"#..#", "##.#", "#.##", "#..#", "#..#"}},
    {'P', {"##.", "#.#", "##.", "#..", "#.."}},
    {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'S', {".##", "#..", ".#.", "..#", "##."}},
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'X', {"#.#", "#.#", ".#.", "#.#", "#.#"}},
};

const Glyph* glyphFor(char letter) {
    for (const Glyph& g : kGlyphs)
        if (g.letter == letter)
            return &g;
    return nullptr;
}

int labelWidth(const char* text) {
    int width = 0;
    for (const char* c = text; *c; ++c)
        if (const Glyph* g = glyphFor(*c))
            width += static_cast<int>(std::strlen(g->rows[0])) + 1;
    return width > 0 ? width - 1 : 0;
}

void drawLabel(QPainter& p, const char* text, double centreX, double top,
               const QColor& colour) {
    double x = std::floor(centreX - labelWidth(text) / 2.0);
    for (const char* c = text; *c; ++c) {
        const Glyph* g = glyphFor(*c);
        if (!g)
            continue;
        const int width = static_cast<int>(std::strlen(g->rows[0]));
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < width; ++col)
                if (g->rows[row][col] == '#')
                    p.fillRect(QRectF(x + col, top + row, 1, 1), colour);
        x += width + 1;
    }
}

// --- list icons, drawn on a 32-unit grid.

void drawPage(QPainter& p) {
    QPainterPath page;
    page.moveTo(6.5, 1.5);
    page.lineTo(19.5, 1.5);
    page.lineTo(25.5, 7.5);
    page.lineTo(25.5, 30.5);
    page.lineTo(6.5, 30.5);
    page.closeSubpath();
    p.setPen(QPen(kPageBorder, 1));
    p.setBrush(kPageFill);
    p.drawPath(page);

    QPainterPath fold;
    fold.moveTo(19.5, 1.5);
    fold.lineTo(19.5, 7.5);
    fold.lineTo(25.5, 7.5);
    fold.closeSubpath();
    p.setBrush(kPageFold);
    p.drawPath(fold);
}

// The coloured band with the file type, reaching out over the left edge.
void drawBand(QPainter& p, const QColor& colour, const char* label) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(3, 19, 19, 9), 1.5, 1.5);
    drawLabel(p, label, 12.5, 21, Qt::white);
}

void drawTextLines(QPainter& p) {
    const double widths[] = {8, 13, 13, 10};
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(9, 5 + 3 * i, widths[i], 1), kTextLine);
}

void drawKeyValueLines(QPainter& p, const QColor& keyColour) {
    const double valueWidths[] = {7, 5, 8, 6};
    for (int i = 0; i < 4; ++i) {
        p.fillRect(QRectF(9, 5 + 3 * i, 4, 1), keyColour);
        p.fillRect(QRectF(15, 5 + 3 * i, valueWidths[i], 1), kTextLine);
    }
}

void drawLandscape(QPainter& p, const QRectF& frame) {
    p.save();
    p.setClipRect(frame);
    p.fillRect(frame, QColor(191, 227, 255));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 179, 0));
    p.drawEllipse(QPointF(frame.right() - 4, frame.top() + 3.2), 1.9, 1.9);
    const double l = frame.left(), b = frame.bottom(), w = frame.width(),
                 h = frame.height();
    p.setBrush(QColor(46, 158, 79));
    p.drawPolygon(QPolygonF({QPointF(l - 1, b), QPointF(l + w * 0.32, b - h * 0.62),
                             QPointF(l + w * 0.62, b)}));
    p.setBrush(QColor(98, 190, 96));
    p.drawPolygon(QPolygonF({QPointF(l + w * 0.35, b), QPointF(l + w * 0.66, b - h * 0.42),
                             QPointF(l + w + 1, b)}));
    p.restore();
}

void drawImageFile(QPainter& p, const QColor& colour, const char* label) {
    drawPage(p);
    drawLandscape(p, QRectF(9, 4, 14, 12));
    drawBand(p, colour, label);
}

void drawGear(QPainter& p, QPointF centre, double radius, const QColor& colour) {
    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    gear.addEllipse(centre, radius * 0.72, radius * 0.72);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-radius * 0.18, -radius, radius * 0.36, radius * 0.5));
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(45.0 * i);
        gear.addPath(turn.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, radius * 0.3, radius * 0.3);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(gear.simplified().subtracted(hole));
}

void drawGlobe(QPainter& p, QPointF centre, double radius, const QColor& colour) {
    p.setPen(QPen(colour, 1));
    p.setBrush(QColor(214, 234, 255));
    p.drawEllipse(centre, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius * 0.42, radius);
    p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
    p.drawLine(QPointF(centre.x(), centre.y() - radius), QPointF(centre.x(), centre.y() + radius));
}

void drawCodeLines(QPainter& p, const QColor& colour) {
    struct Segment { double x, width; bool coloured; };
    const Segment rows[4][2] = {{{9, 5, true}, {15, 6, false}},
                                {{11, 4, false}, {16, 5, true}},
                                {{11, 7, true}, {19, 3, false}},
                                {{9, 4, true}, {14, 0, false}}};
    for (int i = 0; i < 4; ++i)
        for (const Segment& s : rows[i])
            if (s.width > 0)
                p.fillRect(QRectF(s.x, 5 + 3 * i, s.width, 1), s.coloured ? colour : kTextLine);
}

void drawZipper(QPainter& p, const QColor& colour) {
    for (int i = 0; i < 6; ++i)
        p.fillRect(QRectF(i % 2 == 0 ? 14 : 16, 2 + 2 * i, 2, 2), colour);
    p.setPen(QPen(colour, 1));
    p.setBrush(kPageFill);
    p.drawRoundedRect(QRectF(13.5, 14.5, 5, 3.5), 1, 1);
}

void drawFolder(QPainter& p) {
    QPainterPath back;
    back.moveTo(2.5, 4.5);
    back.lineTo(11.5, 4.5);
    back.lineTo(14, 7);
    back.lineTo(29.5, 7);
    back.lineTo(29.5, 28.5);
    back.lineTo(2.5, 28.5);
    back.closeSubpath();
    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolderBack);
    p.drawPath(back);

    p.setPen(QPen(QColor(200, 206, 212), 1));
    p.setBrush(kPageFill);
    p.drawRect(QRectF(5.5, 9.5, 21, 5));

    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolderFront);
    p.drawRoundedRect(QRectF(2.5, 12.5, 27, 16), 1, 1);
    p.fillRect(QRectF(3, 13, 26, 1), QColor(255, 224, 138));
}

void drawProgramWindow(QPainter& p) {
    const QRectF frame(3.5, 5.5, 25, 21);
    p.setPen(QPen(kSlate, 1));
    p.setBrush(kPageFill);
    p.drawRoundedRect(frame, 2, 2);
    QPainterPath title;
    title.addRoundedRect(frame, 2, 2);
    p.save();
    p.setClipRect(QRectF(3, 5, 26, 6));
    p.setBrush(kBlue);
    p.drawPath(title);
    p.restore();
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRectF(19 + 3 * i, 7, 2, 2), Qt::white);
    // A prompt: the program runs.
    p.setPen(QPen(kSlate, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(8, 14), QPointF(12, 17.5), QPointF(8, 21)}));
    p.fillRect(QRectF(14, 20, 7, 2), kSlate);
}

enum ListIcon {
    kFolder, kImage, kBmp, kJpg, kExe, kOtherFile, kIni, kTxt, kDll, kAsp, kRar, kHtm,
    kListIconCount
};

void drawListIcon(QPainter& p, int index) {
    switch (index) {
    case kFolder: drawFolder(p); break;
    case kImage: drawImageFile(p, QColor(214, 51, 132), "IMG"); break;
    case kBmp: drawImageFile(p, QColor(63, 81, 181), "BMP"); break;
    case kJpg: drawImageFile(p, QColor(214, 138, 0), "JPG"); break;
    case kExe: drawProgramWindow(p); break;
    case kOtherFile: drawPage(p); break;
    case kIni:
        drawPage(p);
        drawKeyValueLines(p, QColor(108, 122, 137));
        drawBand(p, QColor(108, 122, 137), "INI");
        break;
    case kTxt:
        drawPage(p);
        drawTextLines(p);
        drawBand(p, QColor(61, 123, 217), "TXT");
        break;
    case kDll:
        drawPage(p);
        drawGear(p, QPointF(16, 10), 5.5, QColor(142, 68, 173));
        drawBand(p, QColor(142, 68, 173), "DLL");
        break;
    case kAsp:
        drawPage(p);
        drawCodeLines(p, QColor(0, 137, 123));
        drawBand(p, QColor(0, 137, 123), "ASP");
        break;
    case kRar:
        drawPage(p);
        drawZipper(p, QColor(160, 65, 58));
        drawBand(p, QColor(160, 65, 58), "RAR");
        break;
    case kHtm:
        drawPage(p);
        drawGlobe(p, QPointF(16, 10), 5.5, kBlue);
        drawBand(p, QColor(232, 96, 28), "HTM");
        break;
    default: break;
    }
}

// --- toolbar pictures, drawn on a 24-unit grid.

void drawTray(QPainter& p) {
    p.setPen(QPen(kSlate, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(4, 13.5), QPointF(4, 19.5), QPointF(20, 19.5),
                              QPointF(20, 13.5)}));
}

void drawArrow(QPainter& p, bool up, const QColor& colour) {
    // Pointing down from y 3 to 16.5; mirrored for up.
    QPolygonF arrow({QPointF(12, 16.5), QPointF(18, 10), QPointF(14, 10), QPointF(14, 3),
                     QPointF(10, 3), QPointF(10, 10), QPointF(6, 10)});
    if (up)
        for (QPointF& point : arrow)
            point.setY(19.5 - point.y());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(arrow);
}

// A plug and a socket on a diagonal; apart shows them pulled away from each
// other with sparks in the gap.
void drawPlug(QPainter& p, bool apart, const QColor& colour) {
    const double shift = apart ? 2.6 : 0;
    const QColor dark = colour.darker(135);
    p.save();
    p.translate(12, 12);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(dark);
    p.drawRect(QRectF(-18, -1.3, 10, 2.6));                 // plug cable
    p.drawRect(QRectF(8, -1.3, 10, 2.6));                   // socket cable
    p.setBrush(kSlate);
    p.drawRect(QRectF(-1.5 - shift, -3.4, 3.5, 1.6));       // prongs
    p.drawRect(QRectF(-1.5 - shift, 1.8, 3.5, 1.6));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(-9 - shift, -5, 7.5, 10), 2, 2);
    p.drawRoundedRect(QRectF(0.6 + shift, -5.5, 7.5, 11), 2, 2);
    // Grip lines tell the plug from the socket.
    p.setBrush(dark);
    p.drawRect(QRectF(-7 - shift, -3, 1.2, 6));
    p.drawRect(QRectF(-4.6 - shift, -3, 1.2, 6));
    if (apart) {
        p.setPen(QPen(QColor(255, 170, 0), 1.3, Qt::SolidLine, Qt::RoundCap));
        for (double side : {-1.0, 1.0}) {
            p.drawLine(QPointF(0, 6.5 * side), QPointF(0, 9.5 * side));
            p.drawLine(QPointF(-2.2, 6 * side), QPointF(-3.8, 8.5 * side));
            p.drawLine(QPointF(2.2, 6 * side), QPointF(3.8, 8.5 * side));
        }
    }
    p.restore();
}

void drawToolbarPicture(QPainter& p, int index) {
    switch (index) {
    case kUploadPicture:
        drawTray(p);
        drawArrow(p, true, kGreen);
        break;
    case kDownloadPicture:
        drawTray(p);
        drawArrow(p, false, kBlue);
        break;
    case kConnectPicture: drawPlug(p, false, kGreen); break;
    case kDisconnectPicture: drawPlug(p, true, kRed); break;
    default: break;
    }
}

// --- program icon, drawn on a 256-unit grid: a folder with the two
// transfer arrows on a blue tile.

void drawTile(QPainter& p) {
    QLinearGradient fill(0, 16, 0, 240);
    fill.setColorAt(0, QColor(58, 141, 240));
    fill.setColorAt(1, QColor(30, 91, 184));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(12, 12, 232, 232), 48, 48);
}

void drawBigFolder(QPainter& p) {
    QPainterPath back;
    back.moveTo(44, 56);
    back.lineTo(104, 56);
    back.lineTo(122, 74);
    back.lineTo(212, 74);
    back.lineTo(212, 192);
    back.lineTo(44, 192);
    back.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kFolderBack);
    p.drawPath(back);
    p.setBrush(kPageFill);
    p.drawRect(QRectF(58, 86, 140, 40));
    p.setBrush(kFolderFront);
    p.drawRoundedRect(QRectF(44, 104, 168, 88), 8, 8);
}

void drawBigArrow(QPainter& p, double centreX, bool up, const QColor& colour) {
    // Pointing down; mirrored around y 163 for up.
    QPolygonF arrow({QPointF(centreX, 214), QPointF(centreX + 34, 176),
                     QPointF(centreX + 14, 176), QPointF(centreX + 14, 112),
                     QPointF(centreX - 14, 112), QPointF(centreX - 14, 176),
                     QPointF(centreX - 34, 176)});
    if (up)
        for (QPointF& point : arrow)
            point.setY(326 - point.y());
    p.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPolygon(arrow);
}

void drawProgramIcon(QPainter& p, int size) {
    drawTile(p);
    if (size < 32) {
        // Too small for the folder: the arrows alone, larger.
        p.save();
        p.translate(128, 128);
        p.scale(1.5, 1.5);
        p.translate(-128, -163);
        drawBigArrow(p, 92, true, kGreen);
        drawBigArrow(p, 164, false, QColor(255, 201, 74));
        p.restore();
        return;
    }
    drawBigFolder(p);
    drawBigArrow(p, 104, true, kGreen);
    drawBigArrow(p, 170, false, kBlue);
}

} // namespace

QImage toolbarImage(int index) {
    if (index < 0 || index >= kToolbarPictureCount)
        return {};
    Canvas canvas(kToolbarPictureSize, 24);
    drawToolbarPicture(canvas.painter(), index);
    return canvas.take();
}

QImage listIconImage(int index) {
    if (index < 0 || index >= kListIconCount)
        return {};
    Canvas canvas(kListIconSize, 32);
    drawListIcon(canvas.painter(), index);
    return canvas.take();
}

QImage programIconImage(int size) {
    if (size <= 0)
        return {};
    Canvas canvas(size, 256);
    drawProgramIcon(canvas.painter(), size);
    return canvas.take();
}

QPixmap toolbarPicture(int index) {
    return QPixmap::fromImage(toolbarImage(index));
}

int listIconCount() {
    return kListIconCount;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}
