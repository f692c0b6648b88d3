#include "local/LocalIconCache.h"

#include "app/controls/ImageList.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "ftp/NameRules.h"
#include "platform/TextCodec.h"
#include "platform/desktop/DesktopIcons.h"

#include <QCryptographicHash>
#include <QHash>
#include <QImage>

#include <map>
#include <string>

namespace {

constexpr int kIconSize = 32;
// Executables each bring their own picture; past this many distinct ones a
// file of the same extension reuses the first picture of its extension.
constexpr int kMaxOwnPictures = 256;
// Drawn over white and keyed out again: on the white list no edge shows.
const QColor kKeyColour(Qt::white);

struct IconCache {
    int knownCount = -1;
    std::map<std::string, int> byExtension;
    QHash<QByteArray, int> byPicture;
};

IconCache& cache() {
    static IconCache instance;
    return instance;
}

bool hasOwnIcon(const std::string& lowerExtension) {
    return lowerExtension == "exe" || lowerExtension == "dll" || lowerExtension == "icl" || lowerExtension == "ico";
}

QByteArray fingerprint(const QImage& image) {
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(argb.constBits()), argb.sizeInBytes()));
    return hash.result();
}

QImage desktopPicture(const std::string& path) {
    QByteArray bmp = fileIconPicture(path, kIconSize, kIconSize, kKeyColour);
    ui::ImageList decoded;
    return decoded.addPicture(bmp, &kKeyColour) < 0 ? QImage() : decoded.image(0);
}

// Adds the picture unless the same one is already there.
int addPicture(IconCache& c, ui::ListControl& list, const QImage& picture) {
    QImage sized = picture.size() == QSize(kIconSize, kIconSize)
                       ? picture
                       : picture.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QByteArray key = fingerprint(sized);
    auto found = c.byPicture.find(key);
    if (found != c.byPicture.end())
        return found.value();
    int index = list.appendIcon(sized);
    if (index >= 0) {
        c.byPicture.insert(key, index);
        c.knownCount = list.iconCount();
    }
    return index;
}

// The upload list's icon for the file's own picture, added when new; -1
// when there is no picture.
int localFileIcon(const std::string& path, const std::string& extension) {
    int result = -1;
    ui::runOnUiThread([&] {
        IconCache& c = cache();
        ui::ListControl& list = mainWindow().上传文件框;
        const int count = list.iconCount();
        if (count == 0)
            return;
        // Another icon list was assigned since: nothing remembered holds.
        if (c.knownCount != count) {
            c = IconCache();
            c.knownCount = count;
        }
        const std::string lower = platform::foldCase(extension);
        auto known = c.byExtension.find(lower);
        if (hasOwnIcon(lower)) {
            if (c.byPicture.size() >= kMaxOwnPictures && known != c.byExtension.end()) {
                result = known->second;
                return;
            }
            // An unreadable file adds nothing and is not remembered: the
            // next file of the extension may have its icon.
            QImage own = firstEmbeddedIcon(path, kIconSize);
            if (own.isNull())
                return;
            result = addPicture(c, list, own);
            if (known == c.byExtension.end())
                c.byExtension[lower] = result;
            return;
        }
        if (known != c.byExtension.end()) {
            result = known->second;
            return;
        }
        QImage picture = desktopPicture(path);
        result = picture.isNull() ? -1 : addPicture(c, list, picture);
        c.byExtension[lower] = result;
    });
    return result;
}

} // namespace

int localIconIndexFor(const std::string& path, EntryKind known) {
    return iconIndexFor(path, false, known, localFileIcon);
}
