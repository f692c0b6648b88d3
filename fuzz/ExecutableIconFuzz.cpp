// Arbitrary executable bytes through the resource walk; what comes out must
// be a well-formed icon file whose entries lie inside it.
#include "fuzz/FuzzTargets.h"
#include "platform/desktop/ExecutableIcon.h"

namespace fuzz {
namespace {

quint32 u16(const QByteArray& b, qsizetype at) {
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

quint32 u32(const QByteArray& b, qsizetype at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}

} // namespace

void executableIconInput(const uint8_t* data, std::size_t size) {
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray ico = iconFileFromExecutable(image);
    if (ico.isEmpty())
        return;
    FUZZ_CHECK(ico.size() >= 6 && u16(ico, 0) == 0 && u16(ico, 2) == 1);
    const quint32 count = u16(ico, 4);
    FUZZ_CHECK(count > 0 && ico.size() >= qsizetype(6 + 16 * count));
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * qsizetype(i);
        const quint64 bytes = u32(ico, entry + 8), offset = u32(ico, entry + 12);
        FUZZ_CHECK(offset + bytes <= quint64(ico.size()));
    }
}

} // namespace fuzz
