#pragma once
// The on-disk layout of a record-database file: a 112-byte header, the field
// count, 72-byte field descriptors and fixed-size records. All integers are
// 32-bit little-endian.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace serverbook {

constexpr int kHeaderSize = 112;
constexpr int kDescriptorSize = 72;
constexpr int kFieldCountOffset = 112;
constexpr int kDescriptorsOffset = 116;
constexpr int kCountOffset = 16;
constexpr int kNextSerialOffset = 20;
constexpr int kRecordSizeOffset = 24;
constexpr int kFieldNameBytes = 17;
constexpr int kMaxFieldNameLength = 16;
constexpr int kMaxTextWidth = 1024;
constexpr int32_t kFormatVersion = 0x00010000;
constexpr char kMagic[4] = {'W', 'E', 'D', 'B'};

enum FieldType {
    kTypeByte = 1,
    kTypeShort = 2,
    kTypeInt = 3,
    kTypeLong = 4,
    kTypeFloat = 5,
    kTypeDouble = 6,
    kTypeBool = 7,
    kTypeDateTime = 8,
    kTypeSubroutine = 9,
    kTypeText = 10,
    kTypeByteArray = 11,
    kTypeMemo = 12,
};

bool isValidFieldType(int type);
bool usesSideFile(int type);
// Bytes a value of the type takes in a record; the width counts for text only.
int fieldSize(int type, int width);

// A field as the file describes it. The name is kept as the file's bytes.
struct FieldDescriptor {
    std::string nameBytes;
    int type = kTypeText;
    int offset = 4;
    int width = 0;
    int size() const { return fieldSize(type, width); }
};

struct Header {
    int32_t version = kFormatVersion;
    double created = 0;
    int32_t count = 0;
    int32_t nextSerial = 1;
    int32_t recordSize = 4;
};

int32_t readInt32(const char* p);
void writeInt32(char* p, int32_t value);
int64_t readInt64(const char* p);
void writeInt64(char* p, int64_t value);
double readDouble(const char* p);
void writeDouble(char* p, double value);

// The bytes of a new file: header, field count and descriptors.
std::string encodeFileStart(const Header& header, const std::vector<FieldDescriptor>& fields);

// Parses the 112 header bytes; returns 0, or -22 / -23 for a refused header.
int decodeHeader(std::string_view bytes, Header& header);

// Parses one 72-byte descriptor; false when it is malformed.
bool decodeDescriptor(std::string_view bytes, FieldDescriptor& field);

// The current local time as an OLE automation date, to whole seconds.
double oleDateNow();

// An OLE automation date as "YYYY-MM-DD hh:mm:ss".
std::string formatOleDate(double date);

} // namespace serverbook
