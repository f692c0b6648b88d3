#pragma once
// Bytes of small Windows files built by hand, for tests and fuzzer seeds.
#include <cstddef>
#include <string>

namespace testsupport {

// Little-endian values written at an offset, growing the bytes as needed.
inline void putU16(std::string& b, std::size_t at, unsigned v) {
    if (b.size() < at + 2)
        b.resize(at + 2, '\0');
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

inline void putU32(std::string& b, std::size_t at, unsigned v) {
    putU16(b, at, v & 0xFFFF);
    putU16(b, at + 2, v >> 16);
}

// Shell-link bytes whose link info holds the local base path.
inline std::string shellLink(const std::string& target) {
    std::string b(0x4C, '\0');
    putU32(b, 0, 0x4C);
    putU32(b, 0x14, 0x02);  // has link info
    const std::size_t info = b.size();
    const std::size_t base = 0x1C;
    const std::size_t suffix = base + target.size() + 1;
    putU32(b, info, static_cast<unsigned>(suffix + 1));
    putU32(b, info + 4, 0x1C);
    putU32(b, info + 8, 0x01);  // local base path present
    putU32(b, info + 16, static_cast<unsigned>(base));
    putU32(b, info + 24, static_cast<unsigned>(suffix));
    b.resize(info + base);
    b += target + '\0' + '\0';
    return b;
}

// A minimal PE32 image with one .rsrc section: an RT_ICON (id 7) holding
// the bytes given and an RT_GROUP_ICON (id 1) naming it.
inline std::string peWithIcon(const std::string& iconData) {
    std::string b(0x200, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    putU32(b, 0x3C, 0x40);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    putU16(b, 0x44, 0x14C);
    putU16(b, 0x46, 1);
    putU16(b, 0x54, 224);
    const std::size_t opt = 0x58;
    putU16(b, opt, 0x10B);
    putU32(b, opt + 92, 16);
    const std::size_t sectionTable = opt + 224;
    std::string r(0x100, '\0');
    auto directory = [&](std::size_t at, unsigned id, unsigned target) {
        putU16(r, at + 14, 1);
        putU32(r, at + 16, id);
        putU32(r, at + 20, target);
    };
    putU16(r, 14, 2);
    putU32(r, 16, 3);
    putU32(r, 20, 0x80000000u | 0x30);
    putU32(r, 24, 14);
    putU32(r, 28, 0x80000000u | 0x48);
    directory(0x30, 7, 0x80000000u | 0x60);
    directory(0x48, 1, 0x80000000u | 0x78);
    directory(0x60, 0x409, 0x90);
    directory(0x78, 0x409, 0xA0);
    const unsigned iconAt = 0x100;
    const unsigned groupAt = iconAt + static_cast<unsigned>(iconData.size());
    putU32(r, 0x90, 0x1000 + iconAt);
    putU32(r, 0x94, static_cast<unsigned>(iconData.size()));
    putU32(r, 0xA0, 0x1000 + groupAt);
    putU32(r, 0xA4, 20);
    r += iconData;
    std::string group(6 + 14, '\0');
    putU16(group, 2, 1);
    putU16(group, 4, 1);
    group[6] = 16;
    group[7] = 16;
    putU16(group, 6 + 4, 1);
    putU16(group, 6 + 6, 32);
    putU32(group, 6 + 8, static_cast<unsigned>(iconData.size()));
    putU16(group, 6 + 12, 7);
    r += group;
    b.replace(sectionTable, 5, ".rsrc");
    putU32(b, sectionTable + 8, static_cast<unsigned>(r.size()));
    putU32(b, sectionTable + 12, 0x1000);
    putU32(b, sectionTable + 16, static_cast<unsigned>(r.size()));
    putU32(b, sectionTable + 20, 0x200);
    putU32(b, opt + 96 + 16, 0x1000);
    putU32(b, opt + 96 + 20, static_cast<unsigned>(r.size()));
    return b + r;
}

} // namespace testsupport
