#include "platform/desktop/ExecutableIcon.h"

#include "platform/desktop/DesktopIcons.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cstring>
#include <vector>

namespace {

constexpr quint32 kResourceTypeIcon = 3;
constexpr quint32 kResourceTypeGroupIcon = 14;
constexpr int kMaxSections = 96;
constexpr int kMaxDirectoryEntries = 4096;
constexpr int kMaxIconsInGroup = 64;
constexpr quint32 kMaxIconBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxIconFileBytes = 4 * 1024 * 1024;
// Larger executables get no embedded icon.
constexpr qint64 kMaxExecutableBytes = 32 * 1024 * 1024;

// Little-endian reads at any offset that fail instead of reading past the
// end. Bytes are read from the device as the walk needs them, so a large
// executable is never read whole (and never mapped: a file cut short while
// mapped raises SIGBUS; here a read just comes back short).
class Bytes {
public:
    explicit Bytes(const QByteArray& data)
        : owned_(data), buffer_(&owned_), device_(&buffer_), size_(static_cast<quint64>(data.size())) {
        buffer_.open(QIODevice::ReadOnly);
    }
    Bytes(QIODevice& device, qint64 size) : device_(&device), size_(static_cast<quint64>(size)) {}

    bool has(quint64 at, quint64 count) const { return at <= size_ && count <= size_ - at; }
    bool u16(quint64 at, quint32& out) const {
        uchar p[2];
        if (!read(at, p, 2))
            return false;
        out = p[0] | p[1] << 8;
        return true;
    }
    bool u32(quint64 at, quint32& out) const {
        quint32 lo = 0, hi = 0;
        if (!u16(at, lo) || !u16(at + 2, hi))
            return false;
        out = lo | hi << 16;
        return true;
    }
    QByteArray slice(quint64 at, quint64 count) const {
        if (!has(at, count))
            return {};
        QByteArray out(static_cast<qsizetype>(count), Qt::Uninitialized);
        return read(at, out.data(), count) ? out : QByteArray();
    }
    bool startsWith(quint64 at, const char* magic, int length) const {
        char head[8];
        return length <= 8 && read(at, head, static_cast<quint64>(length)) && memcmp(head, magic, length) == 0;
    }

private:
    bool read(quint64 at, void* out, quint64 count) const {
        return has(at, count) && device_->seek(static_cast<qint64>(at)) &&
               device_->read(static_cast<char*>(out), static_cast<qint64>(count)) == static_cast<qint64>(count);
    }

    QByteArray owned_;
    QBuffer buffer_;
    QIODevice* device_;
    quint64 size_;
};

struct Section {
    quint32 virtualAddress = 0;
    quint32 virtualSize = 0;
    quint32 rawSize = 0;
    quint32 rawOffset = 0;
};

class PeResources {
public:
    explicit PeResources(const QByteArray& image) : bytes_(image) {}
    PeResources(QIODevice& device, qint64 size) : bytes_(device, size) {}

    bool open();
    // Data of the resource of this type: the entry with this id, or the
    // first entry when id is negative. First language in both cases.
    QByteArray find(quint32 type, qint64 id) const;

private:
    bool fileOffset(quint32 rva, quint64& offset) const;
    // Offset (in the resource section) of the child with this id, or of the
    // first child when id is negative; its high bit marks a subdirectory.
    bool child(quint32 directory, qint64 id, quint32& entry) const;
    QByteArray dataOf(quint32 entry) const;

    Bytes bytes_;
    std::vector<Section> sections_;
    quint64 resourceBase_ = 0;
};

bool PeResources::open() {
    quint32 peOffset = 0;
    if (!bytes_.startsWith(0, "MZ", 2) || !bytes_.u32(0x3C, peOffset) || !bytes_.startsWith(peOffset, "PE\0\0", 4))
        return false;
    const quint64 coff = quint64(peOffset) + 4;
    quint32 sectionCount = 0, optionalSize = 0, magic = 0;
    if (!bytes_.u16(coff + 2, sectionCount) || !bytes_.u16(coff + 16, optionalSize))
        return false;
    const quint64 optional = coff + 20;
    if (!bytes_.u16(optional, magic) || (magic != 0x10B && magic != 0x20B))
        return false;
    const quint64 directories = optional + (magic == 0x10B ? 96 : 112);
    quint32 directoryCount = 0, resourceRva = 0;
    if (!bytes_.u32(directories - 4, directoryCount) || directoryCount < 3 ||
        !bytes_.u32(directories + 2 * 8, resourceRva) || resourceRva == 0)
        return false;
    if (sectionCount > kMaxSections)
        return false;
    const quint64 table = optional + optionalSize;
    for (quint32 i = 0; i < sectionCount; ++i) {
        Section s;
        const quint64 at = table + quint64(i) * 40;
        if (!bytes_.u32(at + 8, s.virtualSize) || !bytes_.u32(at + 12, s.virtualAddress) ||
            !bytes_.u32(at + 16, s.rawSize) || !bytes_.u32(at + 20, s.rawOffset))
            return false;
        sections_.push_back(s);
    }
    return fileOffset(resourceRva, resourceBase_);
}

bool PeResources::fileOffset(quint32 rva, quint64& offset) const {
    for (const Section& s : sections_) {
        const quint64 span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - quint64(s.virtualAddress) < span) {
            const quint64 within = rva - quint64(s.virtualAddress);
            if (within >= s.rawSize)
                return false;
            offset = quint64(s.rawOffset) + within;
            return bytes_.has(offset, 1);
        }
    }
    return false;
}

bool PeResources::child(quint32 directory, qint64 id, quint32& entry) const {
    const quint64 at = resourceBase_ + directory;
    quint32 named = 0, numbered = 0;
    if (!bytes_.u16(at + 12, named) || !bytes_.u16(at + 14, numbered))
        return false;
    const quint32 count = named + numbered;
    if (count == 0 || count > kMaxDirectoryEntries)
        return false;
    for (quint32 i = 0; i < count; ++i) {
        quint32 name = 0, target = 0;
        const quint64 e = at + 16 + quint64(i) * 8;
        if (!bytes_.u32(e, name) || !bytes_.u32(e + 4, target))
            return false;
        const bool isId = (name & 0x80000000u) == 0;
        if (id < 0 || (isId && name == id)) {
            entry = target;
            return true;
        }
    }
    return false;
}

QByteArray PeResources::dataOf(quint32 entry) const {
    quint32 rva = 0, size = 0;
    const quint64 at = resourceBase_ + entry;
    quint64 offset = 0;
    if (!bytes_.u32(at, rva) || !bytes_.u32(at + 4, size) || size == 0 || size > kMaxIconBytes ||
        !fileOffset(rva, offset))
        return {};
    return bytes_.slice(offset, size);
}

QByteArray PeResources::find(quint32 type, qint64 id) const {
    // Type, then name or id, then language: three levels, fixed depth so a
    // looping directory cannot recurse.
    quint32 entry = 0;
    if (!child(0, type, entry) || !(entry & 0x80000000u))
        return {};
    if (!child(entry & 0x7FFFFFFFu, id, entry))
        return {};
    if (entry & 0x80000000u) {
        if (!child(entry & 0x7FFFFFFFu, -1, entry) || (entry & 0x80000000u))
            return {};
    }
    return dataOf(entry);
}

void putU16(QByteArray& out, quint32 v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void putU32(QByteArray& out, quint32 v) {
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

QImage nearestImage(QImageReader& reader, int size) {
    QImage best;
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count && i < kMaxIconsInGroup; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage image = reader.read();
        if (image.isNull())
            continue;
        auto distance = [size](const QImage& im) { return std::abs(im.width() - size); };
        if (best.isNull() || distance(image) < distance(best) ||
            (distance(image) == distance(best) && image.depth() > best.depth()))
            best = image;
    }
    return best;
}

// The first icon group of the opened image as an .ico file.
QByteArray iconFileFrom(PeResources& pe) {
    if (!pe.open())
        return {};
    const QByteArray group = pe.find(kResourceTypeGroupIcon, -1);
    Bytes g(group);
    quint32 reserved = 1, type = 0, count = 0;
    if (!g.u16(0, reserved) || !g.u16(2, type) || !g.u16(4, count) || reserved != 0 || type != 1 || count == 0)
        return {};
    count = std::min<quint32>(count, kMaxIconsInGroup);
    std::vector<QByteArray> pictures;
    QByteArray entries;
    for (quint32 i = 0; i < count; ++i) {
        const quint64 e = 6 + quint64(i) * 14;
        quint32 planes = 0, bits = 0, bytesInRes = 0, id = 0;
        if (!g.has(e, 14) || !g.u16(e + 4, planes) || !g.u16(e + 6, bits) || !g.u32(e + 8, bytesInRes) ||
            !g.u16(e + 12, id))
            break;
        QByteArray picture = pe.find(kResourceTypeIcon, id);
        if (picture.isEmpty())
            continue;
        entries.append(group.mid(static_cast<qsizetype>(e), 4));  // width, height, colours, reserved
        putU16(entries, planes);
        putU16(entries, bits);
        putU32(entries, static_cast<quint32>(picture.size()));
        putU32(entries, 0);  // offset, filled in below
        pictures.push_back(picture);
    }
    if (pictures.empty())
        return {};
    QByteArray ico;
    putU16(ico, 0);
    putU16(ico, 1);
    putU16(ico, static_cast<quint32>(pictures.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        QByteArray offsetBytes;
        putU32(offsetBytes, offset);
        entries.replace(static_cast<qsizetype>(i * 16 + 12), 4, offsetBytes);
        offset += static_cast<quint32>(pictures[i].size());
    }
    ico.append(entries);
    for (const QByteArray& p : pictures)
        ico.append(p);
    return ico;
}

} // namespace

QByteArray iconFileFromExecutable(const QByteArray& image) {
    PeResources pe(image);
    return iconFileFrom(pe);
}

QImage firstEmbeddedIcon(const std::string& path, int size) {
    QFile file(QString::fromStdString(path));
    QFileInfo info(file);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const bool iconFile = info.suffix().compare("ico", Qt::CaseInsensitive) == 0;
    const qint64 limit = iconFile ? kMaxIconFileBytes : kMaxExecutableBytes;
    // A file cut short meanwhile gives short reads; one that grows is read
    // no further than the size it had.
    const qint64 expected = file.size();
    if (expected > limit)
        return {};
    QByteArray ico;
    if (iconFile) {
        ico = file.read(expected);
    } else {
        PeResources pe(file, expected);
        ico = iconFileFrom(pe);
    }
    if (ico.isEmpty())
        return {};
    QBuffer buffer(&ico);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    return nearestImage(reader, size);
}
