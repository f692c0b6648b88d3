// Times find of the last of 10,000 records and purge of 10,000 records with
// every other one marked, in the server book's layout. Prints milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <stdlib.h>

#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"

using namespace serverbook;

namespace {

constexpr int kRecords = 10000;
constexpr int kRounds = 7;

std::string serverName(int i) {
    return "服务器" + std::to_string(i);
}

bool fillServerBook(const std::string& path) {
    ServerBook book;
    book.addField(kFieldServerName, 10, kServerNameWidth);
    book.addField(kFieldAddress, 10, kAddressWidth);
    book.addField(kFieldPort, 10, kPortWidth);
    book.addField(kFieldUserName, 10, kUserNameWidth);
    book.addField(kFieldPassword, 10, kPasswordWidth);
    if (!book.create(path) || !RecordDatabase::open(path))
        return false;
    for (int i = 0; i < kRecords; ++i) {
        if (!RecordDatabase::append({serverName(i), std::string("192.168.0.1"), std::string("21"),
                                     std::string("user"), std::string("password")}))
            return false;
    }
    return true;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeFindLast(const std::string& path) {
    if (!fillServerBook(path))
        return -1;
    const std::string last = serverName(kRecords - 1);
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        RecordDatabase::goFirst();
        const bool found = RecordDatabase::find(
            [&](const RecordView& r) { return r.readField(kFieldServerName) == last; });
        times.push_back(millisecondsSince(start));
        if (!found || RecordDatabase::currentRecord() != kRecords - 1)
            return -1;
    }
    RecordDatabase::close();
    return median(times);
}

double timePurgeHalf(const std::string& path) {
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        if (!fillServerBook(path))
            return -1;
        RecordDatabase::goFirst();
        for (int i = 0; i < kRecords; ++i) {
            if (i % 2 == 1 && !RecordDatabase::markDeleted())
                return -1;
            RecordDatabase::skip();
        }
        const auto start = std::chrono::steady_clock::now();
        const bool purged = RecordDatabase::purge();
        times.push_back(millisecondsSince(start));
        if (!purged || RecordDatabase::recordCount() != kRecords / 2)
            return -1;
        RecordDatabase::close();
    }
    return median(times);
}

} // namespace

int main() {
    std::string folder = std::filesystem::temp_directory_path().string() + "/corvane-dbbench-XXXXXX";
    if (!::mkdtemp(folder.data()))
        return 1;
    const double find = timeFindLast(folder + "/find.edb");
    const double purge = timePurgeHalf(folder + "/purge.edb");
    std::filesystem::remove_all(folder);
    if (find < 0 || purge < 0) {
        std::printf("benchmark failed: %s\n", RecordDatabase::errorMessage(RecordDatabase::lastError()).c_str());
        return 1;
    }
    std::printf("find last of %d records: %.2f ms (median of %d)\n", kRecords, find, kRounds);
    std::printf("purge %d records, every other marked: %.2f ms (median of %d)\n", kRecords, purge, kRounds);
    return 0;
}
