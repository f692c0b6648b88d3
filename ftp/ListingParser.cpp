#include "ftp/ListingParser.h"

#include <cctype>
#include <ctime>

namespace ftp {

namespace {

struct Token {
    std::string_view text;
    std::size_t end = 0;  // offset just past the token in the line
};

std::vector<Token> tokenize(std::string_view line, std::size_t maxTokens) {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (tokens.size() < maxTokens) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size())
            break;
        std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
            ++pos;
        tokens.push_back({line.substr(start, pos - start), pos});
    }
    return tokens;
}

bool allDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Decimal number, optionally with thousands separators; -1 if not one.
int64_t parseSize(std::string_view text, bool allowSeparators) {
    if (text.empty() || text.size() > 24)
        return -1;
    int64_t value = 0;
    int digits = 0;
    for (char c : text) {
        if ((c == ',' || c == '.') && allowSeparators)
            continue;
        if (!std::isdigit(static_cast<unsigned char>(c)) || digits >= 18)
            return -1;
        value = value * 10 + (c - '0');
        ++digits;
    }
    return digits > 0 ? value : -1;
}

int parseInt(std::string_view text) {
    if (!allDigits(text) || text.size() > 9)
        return -1;
    int value = 0;
    for (char c : text)
        value = value * 10 + (c - '0');
    return value;
}

int monthNumber(std::string_view text) {
    static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        bool same = true;
        for (int k = 0; k < 3; ++k)
            same = same && std::tolower(static_cast<unsigned char>(text[k])) == names[i][k];
        if (same)
            return i + 1;
    }
    return 0;
}

// "hh:mm" or "hh:mm:ss"
bool parseClock(std::string_view text, int& hour, int& minute, int& second) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    hour = parseInt(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 1);
    second = 0;
    std::size_t colon2 = rest.find(':');
    if (colon2 != std::string_view::npos) {
        second = parseInt(rest.substr(colon2 + 1));
        rest = rest.substr(0, colon2);
    }
    minute = parseInt(rest);
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 62;
}

bool isUnixPermissions(std::string_view text) {
    if (text.size() < 10 || std::string_view("-dlbcps").find(text[0]) == std::string_view::npos)
        return false;
    for (std::size_t i = 1; i < 10; ++i)
        if (std::string_view("rwxsStTl-").find(text[i]) == std::string_view::npos)
            return false;
    return true;
}

bool parseUnixLine(std::string_view line, const ListingDate& today, ListingEntry& entry) {
    std::vector<Token> tokens = tokenize(line, 9);
    if (tokens.size() < 6 || !isUnixPermissions(tokens[0].text))
        return false;
    // Find "size month day year-or-time" after the owner (with or without
    // group and link count).
    for (std::size_t i = 2; i + 2 < tokens.size(); ++i) {
        int month = monthNumber(tokens[i].text);
        int day = parseInt(tokens[i + 1].text);
        int64_t size = parseSize(tokens[i - 1].text, false);
        if (month == 0 || day < 1 || day > 31 || size < 0)
            continue;
        RemoteTime time;
        time.month = month;
        time.day = day;
        std::string_view yearOrTime = tokens[i + 2].text;
        if (yearOrTime.size() == 4 && allDigits(yearOrTime)) {
            time.year = parseInt(yearOrTime);
        } else if (parseClock(yearOrTime, time.hour, time.minute, time.second)) {
            // Within the last half year: this year, unless that lies ahead.
            time.year = today.year;
            if (month > today.month || (month == today.month && day > today.day + 1))
                time.year -= 1;
        } else {
            continue;
        }
        std::size_t nameStart = tokens[i + 2].end + 1;
        if (nameStart >= line.size())
            return false;
        std::string_view name = line.substr(nameStart);
        if (tokens[0].text[0] == 'l') {
            std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos)
                name = name.substr(0, arrow);
        }
        entry.wireName = std::string(name);
        entry.size = size;
        entry.time = time;
        entry.attributes = tokens[0].text[0] == 'd' ? kAttrDirectory : kAttrNormal;
        if (tokens[0].text[0] == 'l')
            entry.attributes |= kAttrLink;
        if (tokens[0].text[2] != 'w')
            entry.attributes |= kAttrReadOnly;
        return true;
    }
    return false;
}

// "MM-DD-YY" or "MM-DD-YYYY"
bool parseDosDate(std::string_view text, RemoteTime& time) {
    if (text.size() != 8 && text.size() != 10)
        return false;
    if (text[2] != '-' || text[5] != '-')
        return false;
    time.month = parseInt(text.substr(0, 2));
    time.day = parseInt(text.substr(3, 2));
    int year = parseInt(text.substr(6));
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || year < 0)
        return false;
    if (text.size() == 8)
        year += year < 70 ? 2000 : 1900;
    time.year = year;
    return true;
}

// "hh:mmAM", "hh:mmPM" or 24-hour "hh:mm"
bool parseDosTime(std::string_view text, RemoteTime& time) {
    bool pm = false, am = false;
    if (text.size() > 2) {
        std::string_view suffix = text.substr(text.size() - 2);
        pm = suffix == "PM" || suffix == "pm";
        am = suffix == "AM" || suffix == "am";
        if (pm || am)
            text = text.substr(0, text.size() - 2);
    }
    if (!parseClock(text, time.hour, time.minute, time.second))
        return false;
    if (am || pm) {
        if (time.hour < 1 || time.hour > 12)
            return false;
        time.hour = time.hour % 12 + (pm ? 12 : 0);
    }
    return true;
}

bool parseDosLine(std::string_view line, ListingEntry& entry) {
    std::vector<Token> tokens = tokenize(line, 3);
    if (tokens.size() < 3)
        return false;
    RemoteTime time;
    if (!parseDosDate(tokens[0].text, time) || !parseDosTime(tokens[1].text, time))
        return false;
    bool directory = tokens[2].text == "<DIR>";
    int64_t size = directory ? 0 : parseSize(tokens[2].text, true);
    if (size < 0)
        return false;
    std::size_t nameStart = line.find_first_not_of(" \t", tokens[2].end);
    if (nameStart == std::string_view::npos)
        return false;
    entry.wireName = std::string(line.substr(nameStart));
    entry.size = size;
    entry.time = time;
    entry.attributes = directory ? kAttrDirectory : kAttrNormal;
    return true;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "YYYYMMDDHHMMSS[.sss]"
bool parseMlsdTime(std::string_view text, RemoteTime& time) {
    if (text.size() < 14 || !allDigits(text.substr(0, 14)))
        return false;
    time.year = parseInt(text.substr(0, 4));
    time.month = parseInt(text.substr(4, 2));
    time.day = parseInt(text.substr(6, 2));
    time.hour = parseInt(text.substr(8, 2));
    time.minute = parseInt(text.substr(10, 2));
    time.second = parseInt(text.substr(12, 2));
    return true;
}

} // namespace

ListingDate todayForListings() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

bool parseListLine(std::string_view line, const ListingDate& today, ListingEntry& entry) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty())
        return false;
    entry = ListingEntry{};
    if (parseUnixLine(line, today, entry))
        return true;
    entry = ListingEntry{};
    return parseDosLine(line, entry);
}

bool parseMlsdLine(std::string_view line, ListingEntry& entry) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 >= line.size())
        return false;
    entry = ListingEntry{};
    entry.wireName = std::string(line.substr(space + 1));
    std::string_view facts = line.substr(0, space);
    bool directory = false;
    bool link = false;
    std::string perm;
    bool hasPerm = false;
    while (!facts.empty()) {
        std::size_t semicolon = facts.find(';');
        std::string_view fact = facts.substr(0, semicolon);
        facts = semicolon == std::string_view::npos ? std::string_view() : facts.substr(semicolon + 1);
        std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string name = lowerAscii(fact.substr(0, equals));
        std::string_view value = fact.substr(equals + 1);
        if (name == "type") {
            std::string type = lowerAscii(value);
            if (type == "cdir" || type == "pdir")
                return false;
            directory = type == "dir";
            // "OS.unix=slink:/target", "OS.unix=symlink" and the like.
            link = type.rfind("os.unix=", 0) == 0 && type.find("link") != std::string::npos;
        } else if (name == "size" || name == "sizd") {
            int64_t size = parseSize(value, false);
            if (size >= 0)
                entry.size = size;
        } else if (name == "modify") {
            parseMlsdTime(value, entry.time);
        } else if (name == "perm") {
            perm = lowerAscii(value);
            hasPerm = true;
        }
    }
    entry.attributes = directory ? kAttrDirectory : kAttrNormal;
    if (link)
        entry.attributes |= kAttrLink;
    if (directory)
        entry.size = 0;
    // Files need "w" (write), directories "c" (create inside) to be writable.
    if (hasPerm && perm.find(directory ? 'c' : 'w') == std::string::npos)
        entry.attributes |= kAttrReadOnly;
    return true;
}

bool isPlainEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

std::vector<ListingEntry> parseListing(const std::string& data, bool mlsd, const ListingDate& today) {
    std::vector<ListingEntry> entries;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t lf = data.find('\n', pos);
        std::size_t end = lf == std::string::npos ? data.size() : lf;
        std::string_view line(data.data() + pos, end - pos);
        pos = end + 1;
        ListingEntry entry;
        bool parsed = mlsd ? parseMlsdLine(line, entry) : parseListLine(line, today, entry);
        if (parsed && isPlainEntryName(entry.wireName))
            entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace ftp
