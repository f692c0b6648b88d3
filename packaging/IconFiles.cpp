// Writes the program icon as PNG files in the hicolor layout:
//   corvane_icon_files OUTPUT_FOLDER SIZE...
// gives OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/corvane.png for every size.
#include "app/forms/Pictures.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

bool writeIcon(const QString& folder, int size) {
    const QString sizeFolder = QString("%1/%2x%2/apps").arg(folder).arg(size);
    if (!QDir().mkpath(sizeFolder))
        return false;
    return programIconImage(size).save(sizeFolder + "/corvane.png", "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !writeIcon(folder, size)) {
            std::fprintf(stderr, "cannot write the %s pixel icon into %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
