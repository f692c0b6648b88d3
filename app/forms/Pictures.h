#pragma once
// The program's own pictures, drawn in code: the four toolbar images, the
// twelve icons of the file lists and the program icon. All have an alpha
// channel. The QImage forms can be drawn on any thread; the QPixmap and
// QIcon forms need the GUI application.
#include <QIcon>
#include <QImage>
#include <QPixmap>

// Toolbar images, 24 x 24.
enum ToolbarPicture { kUploadPicture = 0, kDownloadPicture = 1, kConnectPicture = 2,
                      kDisconnectPicture = 3 };
constexpr int kToolbarPictureSize = 24;
constexpr int kToolbarPictureCount = 4;

// List icons, 32 x 32, by image index of the file lists:
// 0 folder, 1 gif/png image, 2 bmp, 3 jpg, 4 exe, 5 other file, 6 ini,
// 7 txt, 8 dll/db, 9 asp, 10 rar, 11 htm/html.
constexpr int kListIconSize = 32;

// A null image or pixmap for an index out of range.
QImage toolbarImage(int index);
QImage listIconImage(int index);
// The program icon drawn at size x size pixels.
QImage programIconImage(int size);

QPixmap toolbarPicture(int index);
int listIconCount();
// Pixmaps at 16, 32, 48 and 256 pixels.
QIcon programIcon();
