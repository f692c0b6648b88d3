#pragma once
// Builds database files byte by byte, independently of the engine, the way
// files written on Windows look (GBK names and text).
#include <cstdint>
#include <cstring>
#include <string>

namespace dbtest {

inline std::string le32(int32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xff);
    return bytes;
}

inline int32_t readLe32(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return static_cast<int32_t>(v);
}

inline double readDouble(const std::string& bytes, size_t offset) {
    double d;
    std::memcpy(&d, bytes.data() + offset, sizeof d);
    return d;
}

inline std::string header(int32_t count, int32_t nextSerial, int32_t recordSize, int32_t version = 0x00010000,
                          double created = 45000.5) {
    std::string bytes = "WEDB" + le32(version);
    bytes.append(reinterpret_cast<const char*>(&created), 8);
    bytes += le32(count) + le32(nextSerial) + le32(recordSize);
    bytes.append(84, '\0');
    return bytes;
}

inline std::string descriptor(const std::string& nameBytes, int32_t type, int32_t offset, int32_t width) {
    std::string bytes = nameBytes;
    bytes.resize(20, '\0');
    bytes += le32(type) + le32(offset) + le32(width);
    bytes.append(40, '\0');
    return bytes;
}

// GBK bytes of the server book's field names.
inline const std::string kGbkServerName = "\xb7\xfe\xce\xf1\xc6\xf7\xc3\xfb"; // 服务器名
inline const std::string kGbkPort = "\xb6\xcb\xbf\xda";                    // 端口
inline const std::string kGbkUserName = "\xd3\xc3\xbb\xa7\xc3\xfb";        // 用户名
inline const std::string kGbkPassword = "\xc3\xdc\xc2\xeb";                // 密码

// Header, field count and the five descriptors of a server book: 476 bytes.
inline std::string serverBookStart(int32_t count, int32_t nextSerial) {
    return header(count, nextSerial, 142) + le32(5) + descriptor(kGbkServerName, 10, 4, 60) +
           descriptor("IP", 10, 64, 20) + descriptor(kGbkPort, 10, 84, 12) + descriptor(kGbkUserName, 10, 96, 26) +
           descriptor(kGbkPassword, 10, 122, 20);
}

// A field's stored bytes: the raw bytes (already cut or NUL-terminated by
// the caller) padded with zeros to the width.
inline std::string field(const std::string& bytes, size_t width) {
    std::string stored = bytes.substr(0, width);
    stored.resize(width, '\0');
    return stored;
}

inline std::string serverRecord(int32_t serial, const std::string& name, const std::string& ip,
                                const std::string& port, const std::string& user, const std::string& password) {
    return le32(serial) + field(name, 60) + field(ip, 20) + field(port, 12) + field(user, 26) + field(password, 20);
}

} // namespace dbtest
