#include "tools/DemoSetup.h"

#include "app/settings/SettingsFile.h"
#include "ftp/ConnectionSetting.h"
#include "platform/LocalFiles.h"
#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"

#include <vector>

namespace demo {
namespace {

using serverbook::RecordDatabase;
using serverbook::RecordView;

constexpr const char* kSection = "shuji";
constexpr const char* kAddress = "127.0.0.1";

void queueServerBookFields(serverbook::ServerBook& book) {
    book.addField(serverbook::kFieldServerName, 10, serverbook::kServerNameWidth);
    book.addField(serverbook::kFieldAddress, 10, serverbook::kAddressWidth);
    book.addField(serverbook::kFieldPort, 10, serverbook::kPortWidth);
    book.addField(serverbook::kFieldUserName, 10, serverbook::kUserNameWidth);
    book.addField(serverbook::kFieldPassword, 10, serverbook::kPasswordWidth);
}

// The server manager lists the names of the old "IP数据" value (every third
// field) before the records, so a record's list position is shifted by them.
int legacyNameCount(const std::string& settingsPath) {
    const std::string legacy = settings::readValue(settingsPath, kSection, "IP数据", "");
    if (legacy.empty())
        return 0;
    int fields = 1;
    for (char c : legacy)
        fields += c == '|' ? 1 : 0;
    return (fields + 2) / 3;
}

// Finds or appends the demo record and returns its position among the
// records (marked ones count, as the server manager lists them), or -1.
int storeDemoServer(const std::string& bookPath, const std::string& port, std::string& error) {
    serverbook::ServerBook book;
    if (!platform::pathExists(bookPath)) {
        queueServerBookFields(book);
        if (!book.create(bookPath)) {
            error = "cannot create " + bookPath + ": " + RecordDatabase::errorMessage(RecordDatabase::lastError());
            return -1;
        }
    }
    if (!book.open(bookPath)) {
        error = "cannot open " + bookPath + " (" + RecordDatabase::errorMessage(RecordDatabase::lastError()) +
                "); move it away to let the demo create a new one";
        return -1;
    }
    const std::vector<serverbook::FieldValue> values = {std::string(kServerName), std::string(kAddress), port,
                                                        std::string(kUser), std::string(kPassword)};
    RecordDatabase::goFirst();
    const bool found = RecordDatabase::find([](const RecordView& record) {
        return record.readField(serverbook::kFieldServerName) == kServerName;
    });
    const bool stored = found ? RecordDatabase::modify(values) : RecordDatabase::append(values);
    if (!stored) {
        error = "cannot write the demo server to " + bookPath + ": " +
                RecordDatabase::errorMessage(RecordDatabase::lastError());
        return -1;
    }
    return RecordDatabase::currentRecord();
}

bool writeSetting(const std::string& path, const std::string& key, const std::string& value, std::string& error) {
    if (settings::writeValue(path, kSection, key, value))
        return true;
    error = "cannot write " + key + " to " + path;
    return false;
}

// Keeps what the user changed since the last demo run (the folders they went to).
bool writeSettingIfMissing(const std::string& path, const std::string& key, const std::string& value,
                           std::string& error) {
    const std::string absent = "\x01";
    if (settings::readValue(path, kSection, key, absent) != absent)
        return true;
    return writeSetting(path, key, value, error);
}

} // namespace

bool prepareDemoSettings(const DemoSetupRequest& request, std::string& error) {
    if (request.port <= 0 || request.port > 65535) {
        error = "bad port " + std::to_string(request.port);
        return false;
    }
    const std::string port = std::to_string(request.port);
    const int record = storeDemoServer(request.programFolder + "/ipsjk.edb", port, error);
    if (record < 0)
        return false;
    const std::string ini = request.programFolder + "/wangluo.ini";
    const std::string connection = joinConnectionSetting({kServerName, kAddress, port, kUser, kPassword});
    return writeSetting(ini, "当前IP", std::to_string(legacyNameCount(ini) + record), error) &&
           writeSetting(ini, "IP信息", connection, error) && writeSetting(ini, "自动连接", "真", error) &&
           writeSettingIfMissing(ini, "服务器目录", "/", error) &&
           writeSettingIfMissing(ini, "本地目录", request.localFolder, error);
}

} // namespace demo
