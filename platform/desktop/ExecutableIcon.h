#pragma once
// Icons stored inside files: the first icon group of a Windows executable or
// library (PE resources), or an icon file itself.
#include <QByteArray>

// The first icon group of the PE image as the bytes of a complete .ico file;
// empty when the bytes are no PE image or hold no icon. Offsets and counts
// are checked against the bytes, so any garbage is safe.
QByteArray iconFileFromExecutable(const QByteArray& image);
