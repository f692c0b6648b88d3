// Writes well-formed inputs for the fuzzers that are hard to type by hand:
// a server book database, a shell link and a PE image with an icon group.
// Usage: fuzz_make_seeds <corpus folder>
#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"
#include "tests/support/WindowsFileBytes.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using testsupport::putU16;
using testsupport::putU32;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string shellLink(const std::string& target) {
    std::string b(0x4C, '\0');
    putU32(b, 0, 0x4C);
    putU32(b, 0x14, 0x03);  // id list and link info
    putU16(b, 0x4C, 4);     // a four-byte id list
    b.resize(0x4C + 2 + 4);
    const std::size_t info = b.size();
    const std::size_t base = 0x1C;
    const std::size_t suffix = base + target.size() + 1;
    putU32(b, info, static_cast<unsigned>(suffix + 2));
    putU32(b, info + 4, 0x1C);
    putU32(b, info + 8, 0x01);
    putU32(b, info + 16, static_cast<unsigned>(base));
    putU32(b, info + 24, static_cast<unsigned>(suffix));
    b.resize(info + base);
    b += target + '\0' + "x" + '\0';
    return b;
}

// The server book with two records, one of them marked deleted.
std::string serverBookFile(const std::string& folder) {
    using namespace serverbook;
    const std::string path = folder + "/seed-book.EDB";
    std::remove(path.c_str());
    RecordDatabase::create(path, {{kFieldServerName, 10, kServerNameWidth},
                                  {kFieldAddress, 10, kAddressWidth},
                                  {kFieldPort, 10, kPortWidth},
                                  {kFieldUserName, 10, kUserNameWidth},
                                  {kFieldPassword, 10, kPasswordWidth}});
    RecordDatabase::open(path);
    RecordDatabase::append({std::string("本机"), std::string("127.0.0.1"), std::string("21"),
                            std::string("anonymous"), std::string("pw")});
    RecordDatabase::append({std::string("second"), std::string("10.0.0.1"), std::string("2121"),
                            std::string("user"), std::string("")});
    RecordDatabase::goFirst();
    RecordDatabase::skip();
    RecordDatabase::markDeleted();
    RecordDatabase::close();
    std::string bytes = readFile(path);
    std::remove(path.c_str());
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    const std::string corpus = argv[1];
    writeFile(corpus + "/record_database/server-book", serverBookFile("/tmp"));
    writeFile(corpus + "/shell_link/local-base-path", shellLink("C:\\docs\\Notes.TXT"));
    writeFile(corpus + "/executable_icon/pe32-icon-group", testsupport::peWithIcon(std::string(40, '\x11')));
    return 0;
}
