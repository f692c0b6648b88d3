#pragma once
// The server book object: the field list queued for the next create and
// whether the book's database is open. The records themselves are read and
// written through RecordDatabase.
#include <string>
#include <vector>

#include "serverbook/DbTypes.h"

namespace serverbook {

// Field names and widths of the server book file.
inline constexpr const char* kFieldServerName = "服务器名";
inline constexpr const char* kFieldAddress = "IP";
inline constexpr const char* kFieldPort = "端口";
inline constexpr const char* kFieldUserName = "用户名";
inline constexpr const char* kFieldPassword = "密码";
inline constexpr int kServerNameWidth = 60;
inline constexpr int kAddressWidth = 20;
inline constexpr int kPortWidth = 12;
inline constexpr int kUserNameWidth = 26;
inline constexpr int kPasswordWidth = 20;

class ServerBook {
public:
    ServerBook() = default;
    // Closes the database when the flag says it is open.
    ~ServerBook();
    ServerBook(const ServerBook&) = default;
    ServerBook& operator=(const ServerBook&) = default;

    void addField(const std::string& name, int type = 10, int width = 0);
    // Creates the file with the queued fields; the queue is emptied either way.
    bool create(const std::string& path);
    // Opens read-write with no sharing restriction; the flag takes the result.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return open_; }

    const std::vector<FieldDef>& queuedFields() const { return fields_; }

private:
    std::vector<FieldDef> fields_;
    bool open_ = false;
};

} // namespace serverbook
