#include "ftp/ListingDates.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

namespace ftp::listing {

namespace {

// Full month names, lower case, in the languages servers are seen to list
// in. An abbreviation is read as the month whose name it starts (three
// bytes at least, one month only).
struct MonthName {
    std::string_view text;
    int month;
};
constexpr MonthName kMonthNames[] = {
    {"january", 1}, {"januar", 1}, {"janvier", 1}, {"enero", 1}, {"gennaio", 1}, {"janeiro", 1}, {"januari", 1},
    {"jänner", 1}, {"január", 1}, {"styczeń", 1}, {"stycznia", 1}, {"leden", 1}, {"ledna", 1}, {"январь", 1},
    {"января", 1}, {"ocak", 1}, {"tammikuu", 1}, {"січень", 1}, {"січня", 1},
    {"february", 2}, {"februar", 2}, {"février", 2}, {"febrero", 2}, {"febbraio", 2}, {"fevereiro", 2},
    {"februari", 2}, {"február", 2}, {"luty", 2}, {"lutego", 2}, {"únor", 2}, {"února", 2}, {"февраль", 2},
    {"февраля", 2}, {"şubat", 2}, {"helmikuu", 2}, {"лютий", 2}, {"лютого", 2},
    {"march", 3}, {"märz", 3}, {"mars", 3}, {"marzo", 3}, {"março", 3}, {"maart", 3}, {"március", 3},
    {"marzec", 3}, {"marca", 3}, {"březen", 3}, {"března", 3}, {"март", 3}, {"марта", 3}, {"mart", 3},
    {"maaliskuu", 3}, {"березень", 3}, {"березня", 3},
    {"april", 4}, {"avril", 4}, {"abril", 4}, {"aprile", 4}, {"április", 4}, {"kwiecień", 4}, {"kwietnia", 4},
    {"duben", 4}, {"dubna", 4}, {"апрель", 4}, {"апреля", 4}, {"nisan", 4}, {"huhtikuu", 4}, {"квітень", 4},
    {"квітня", 4},
    {"may", 5}, {"mai", 5}, {"mayo", 5}, {"maggio", 5}, {"maio", 5}, {"mei", 5}, {"maj", 5}, {"május", 5},
    {"maja", 5}, {"květen", 5}, {"května", 5}, {"май", 5}, {"мая", 5}, {"mayıs", 5}, {"toukokuu", 5},
    {"травень", 5}, {"травня", 5},
    {"june", 6}, {"juni", 6}, {"juin", 6}, {"junio", 6}, {"giugno", 6}, {"junho", 6}, {"június", 6},
    {"czerwiec", 6}, {"czerwca", 6}, {"červen", 6}, {"června", 6}, {"июнь", 6}, {"июня", 6}, {"haziran", 6},
    {"kesäkuu", 6}, {"червень", 6}, {"червня", 6},
    {"july", 7}, {"juli", 7}, {"juillet", 7}, {"julio", 7}, {"luglio", 7}, {"julho", 7}, {"július", 7},
    {"lipiec", 7}, {"lipca", 7}, {"červenec", 7}, {"července", 7}, {"июль", 7}, {"июля", 7}, {"temmuz", 7},
    {"heinäkuu", 7}, {"липень", 7}, {"липня", 7},
    {"august", 8}, {"août", 8}, {"agosto", 8}, {"augustus", 8}, {"augusti", 8}, {"augusztus", 8},
    {"sierpień", 8}, {"sierpnia", 8}, {"srpen", 8}, {"srpna", 8}, {"август", 8}, {"августа", 8}, {"ağustos", 8},
    {"elokuu", 8}, {"серпень", 8}, {"серпня", 8},
    {"september", 9}, {"septembre", 9}, {"septiembre", 9}, {"setiembre", 9}, {"settembre", 9}, {"setembro", 9},
    {"szeptember", 9}, {"wrzesień", 9}, {"września", 9}, {"září", 9}, {"сентябрь", 9}, {"сентября", 9},
    {"eylül", 9}, {"syyskuu", 9}, {"вересень", 9}, {"вересня", 9},
    {"october", 10}, {"oktober", 10}, {"octobre", 10}, {"octubre", 10}, {"ottobre", 10}, {"outubro", 10},
    {"október", 10}, {"październik", 10}, {"października", 10}, {"říjen", 10}, {"října", 10}, {"октябрь", 10},
    {"октября", 10}, {"ekim", 10}, {"lokakuu", 10}, {"жовтень", 10}, {"жовтня", 10},
    {"november", 11}, {"novembre", 11}, {"noviembre", 11}, {"novembro", 11}, {"listopad", 11},
    {"listopada", 11}, {"ноябрь", 11}, {"ноября", 11}, {"kasım", 11}, {"marraskuu", 11}, {"листопад", 11},
    {"листопада", 11},
    {"december", 12}, {"dezember", 12}, {"décembre", 12}, {"diciembre", 12}, {"dicembre", 12}, {"dezembro", 12},
    {"desember", 12}, {"grudzień", 12}, {"grudnia", 12}, {"prosinec", 12}, {"prosince", 12}, {"декабрь", 12},
    {"декабря", 12}, {"aralık", 12}, {"joulukuu", 12}, {"грудень", 12}, {"грудня", 12},
};

// Abbreviations read first: the English ones (some also start a month of
// another language, "mar" the Finnish November), and those that are not
// the start of a full name.
constexpr MonthName kAbbreviations[] = {
    {"jan", 1}, {"feb", 2}, {"mar", 3}, {"apr", 4},  {"may", 5},  {"jun", 6},   {"jul", 7},   {"aug", 8},
    {"sep", 9}, {"oct", 10}, {"nov", 11}, {"dec", 12}, {"mrz", 3}, {"mrt", 3}, {"jän", 1}, {"čen", 6},
    {"čec", 7}, {"sept", 9},
};

// Chinese month names ("三月") in UTF-8, GBK and Big5, matched whole and
// before case folding, which would change the ASCII letters Big5 uses as
// second bytes.
constexpr MonthName kChineseMonthNames[] = {
    {"\xE4\xB8\x80\xE6\x9C\x88", 1}, {"\xE4\xBA\x8C\xE6\x9C\x88", 2},
    {"\xE4\xB8\x89\xE6\x9C\x88", 3}, {"\xE5\x9B\x9B\xE6\x9C\x88", 4},
    {"\xE4\xBA\x94\xE6\x9C\x88", 5}, {"\xE5\x85\xAD\xE6\x9C\x88", 6},
    {"\xE4\xB8\x83\xE6\x9C\x88", 7}, {"\xE5\x85\xAB\xE6\x9C\x88", 8},
    {"\xE4\xB9\x9D\xE6\x9C\x88", 9}, {"\xE5\x8D\x81\xE6\x9C\x88", 10},
    {"\xE5\x8D\x81\xE4\xB8\x80\xE6\x9C\x88", 11}, {"\xE5\x8D\x81\xE4\xBA\x8C\xE6\x9C\x88", 12},
    {"\xD2\xBB\xD4\xC2", 1}, {"\xB6\xFE\xD4\xC2", 2}, {"\xC8\xFD\xD4\xC2", 3}, {"\xCB\xC4\xD4\xC2", 4},
    {"\xCE\xE5\xD4\xC2", 5}, {"\xC1\xF9\xD4\xC2", 6}, {"\xC6\xDF\xD4\xC2", 7}, {"\xB0\xCB\xD4\xC2", 8},
    {"\xBE\xC5\xD4\xC2", 9}, {"\xCA\xAE\xD4\xC2", 10}, {"\xCA\xAE\xD2\xBB\xD4\xC2", 11},
    {"\xCA\xAE\xB6\xFE\xD4\xC2", 12},
    {"\xA4\x40\xA4\xEB", 1}, {"\xA4\x47\xA4\xEB", 2}, {"\xA4\x54\xA4\xEB", 3}, {"\xA5\x7C\xA4\xEB", 4},
    {"\xA4\xAD\xA4\xEB", 5}, {"\xA4\xBB\xA4\xEB", 6}, {"\xA4\x43\xA4\xEB", 7}, {"\xA4\x4B\xA4\xEB", 8},
    {"\xA4\x45\xA4\xEB", 9}, {"\xA4\x51\xA4\xEB", 10}, {"\xA4\x51\xA4\x40\xA4\xEB", 11},
    {"\xA4\x51\xA4\x47\xA4\xEB", 12},
};

// Morning and afternoon: English, Chinese (UTF-8, GBK, Big5), Japanese
// (UTF-8, Shift-JIS, EUC-JP), Korean (UTF-8, EUC-KR).
struct HalfDayText {
    const char* text;
    HalfDay half;
};
const HalfDayText kHalfDays[] = {
    {"AM", HalfDay::Morning},
    {"PM", HalfDay::Afternoon},
    {"am", HalfDay::Morning},
    {"pm", HalfDay::Afternoon},
    {"\xE4\xB8\x8A\xE5\x8D\x88", HalfDay::Morning},
    {"\xE4\xB8\x8B\xE5\x8D\x88", HalfDay::Afternoon},
    {"\xC9\xCF\xCE\xE7", HalfDay::Morning},
    {"\xCF\xC2\xCE\xE7", HalfDay::Afternoon},
    {"\xA4\x57\xA4\xC8", HalfDay::Morning},
    {"\xA4\x55\xA4\xC8", HalfDay::Afternoon},
    {"\xE5\x8D\x88\xE5\x89\x8D", HalfDay::Morning},
    {"\xE5\x8D\x88\xE5\xBE\x8C", HalfDay::Afternoon},
    {"\x8C\xDF\x91\x4F", HalfDay::Morning},
    {"\x8C\xDF\x8C\xE3", HalfDay::Afternoon},
    {"\xB8\xE1\xC1\xB0", HalfDay::Morning},
    {"\xB8\xE1\xB8\xE5", HalfDay::Afternoon},
    {"\xEC\x98\xA4\xEC\xA0\x84", HalfDay::Morning},
    {"\xEC\x98\xA4\xED\x9B\x84", HalfDay::Afternoon},
    {"\xBF\xC0\xC0\xFC", HalfDay::Morning},
    {"\xBF\xC0\xC8\xC4", HalfDay::Afternoon},
};

// Every name and abbreviation in byte order: the names a text starts are
// then next to each other.
const std::vector<MonthName>& sortedMonthNames() {
    static const std::vector<MonthName> sorted = [] {
        std::vector<MonthName> names(std::begin(kMonthNames), std::end(kMonthNames));
        names.insert(names.end(), std::begin(kAbbreviations), std::end(kAbbreviations));
        std::sort(names.begin(), names.end(), [](const MonthName& a, const MonthName& b) { return a.text < b.text; });
        return names;
    }();
    return sorted;
}

// Lower case of the letters month names use: ASCII, Latin-1, Latin
// Extended-A and Cyrillic. Other bytes are copied. False when the text
// does not fit.
bool foldCase(std::string_view text, char* out, std::size_t capacity, std::size_t& length) {
    length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (length + 2 > capacity)
            return false;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 'A' && c <= 'Z') {
            out[length++] = static_cast<char>(c + 32);
            continue;
        }
        if (c >= 0xC3 && c <= 0xD0 && i + 1 < text.size()) {
            unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            if ((code >= 0xC0 && code <= 0xDE && code != 0xD7))
                code += 0x20;
            else if (((code >= 0x100 && code <= 0x137) || (code >= 0x14A && code <= 0x177)) && code % 2 == 0)
                code += 1;
            else if (((code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E)) && code % 2 == 1)
                code += 1;
            else if (code >= 0x410 && code <= 0x42F)
                code += 0x20;
            else if (code >= 0x400 && code <= 0x40F)
                code += 0x50;
            out[length++] = static_cast<char>(0xC0 | (code >> 6));
            out[length++] = static_cast<char>(0x80 | (code & 0x3F));
            ++i;
            continue;
        }
        out[length++] = static_cast<char>(c);
    }
    return true;
}

std::string_view withoutTrailingPunctuation(std::string_view text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ','))
        text.remove_suffix(1);
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

bool validDay(int month, int day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// Units that follow numbers in East Asian dates, in UTF-8 and in the
// legacy code pages (GBK, Big5, Shift-JIS, EUC-JP, EUC-KR).
enum class Unit { None, Year, Month, Day };
struct UnitBytes {
    const char* bytes;
    Unit unit;
};
const UnitBytes kUnits[] = {
    {"\xE5\xB9\xB4", Unit::Year},  {"\xEB\x85\x84", Unit::Year},  {"\xC4\xEA", Unit::Year},
    {"\xA6\x7E", Unit::Year},      {"\x94\x4E", Unit::Year},      {"\xC7\xAF", Unit::Year},
    {"\xB3\xE2", Unit::Year},      {"\xE6\x9C\x88", Unit::Month}, {"\xEC\x9B\x94", Unit::Month},
    {"\xD4\xC2", Unit::Month},     {"\xA4\xEB", Unit::Month},     {"\x8C\x8E", Unit::Month},
    {"\xB7\xEE", Unit::Month},     {"\xBF\xF9", Unit::Month},     {"\xE6\x97\xA5", Unit::Day},
    {"\xEC\x9D\xBC", Unit::Day},   {"\xC8\xD5", Unit::Day},       {"\xA4\xE9", Unit::Day},
    {"\x93\xFA", Unit::Day},       {"\xC6\xFC", Unit::Day},       {"\xC0\xCF", Unit::Day},
};

Unit unitAt(std::string_view text, std::size_t& length) {
    for (const UnitBytes& u : kUnits) {
        if (startsWith(text, u.bytes)) {
            length = std::strlen(u.bytes);
            return u.unit;
        }
    }
    return Unit::None;
}

// What one field of a date group is.
enum class PartKind { None, Month, Day, Year, MarkedYear, Clock, Date, MonthDay, Zone };
struct Part {
    PartKind kind = PartKind::None;
    int year = 0, month = 0, day = 0;
    RemoteTime clock;
    HalfDay half = HalfDay::None;  // of a clock written "09:47PM"
    bool seconds = false;
};

// "2023年3月20日", "3月20日", "3月", "20日", "2023年": numbers with units.
Part readUnitDate(std::string_view text) {
    Part part;
    int values[3] = {0, 0, 0};
    Unit units[3] = {Unit::None, Unit::None, Unit::None};
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size() && count < 3) {
        std::size_t digits = 0;
        while (pos + digits < text.size() && isDigit(text[pos + digits]))
            ++digits;
        if (digits == 0 || digits > 4)
            return part;
        std::size_t unitLength = 0;
        const Unit unit = unitAt(text.substr(pos + digits), unitLength);
        if (unit == Unit::None)
            return part;
        values[count] = smallNumber(text.substr(pos, digits));
        units[count++] = unit;
        pos += digits + unitLength;
    }
    if (pos != text.size())
        return part;
    int year = 0, month = 0, day = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (units[i] == Unit::Year && i == 0)
            year = values[i];
        else if (units[i] == Unit::Month && month == 0 && day == 0)
            month = values[i];
        else if (units[i] == Unit::Day && day == 0)
            day = values[i];
        else
            return part;
    }
    if (month > 12 || day > 31 || (year != 0 && (year < 1000 || year > 9999)))
        return part;
    part.year = year;
    part.month = month;
    part.day = day;
    if (year && month && day)
        part.kind = PartKind::Date;
    else if (year && !month && !day)
        part.kind = PartKind::MarkedYear;
    else if (!year && month && day)
        part.kind = PartKind::MonthDay;
    else if (!year && month)
        part.kind = PartKind::Month;
    else if (!year && day)
        part.kind = PartKind::Day;
    return part;
}

// "+0800"
bool isZone(std::string_view text) {
    return text.size() == 5 && (text[0] == '+' || text[0] == '-') && allDigits(text.substr(1));
}

// "10.00": hours and minutes with a dot, as some locales write them.
bool readDottedClock(std::string_view text, RemoteTime& time) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > 2 || text.size() - dot != 3)
        return false;
    const int hour = smallNumber(text.substr(0, dot));
    const int minute = smallNumber(text.substr(dot + 1));
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return false;
    time.hour = hour;
    time.minute = minute;
    time.second = 0;
    return true;
}

Part dateOf(const RemoteTime& date) {
    Part part;
    part.kind = PartKind::Date;
    part.year = date.year;
    part.month = date.month;
    part.day = date.day;
    return part;
}

Part classify(std::string_view field) {
    Part part;
    const bool marked = !field.empty() && field.back() == '.';
    const std::string_view text = withoutTrailingPunctuation(field);
    if (text.empty())
        return part;
    const char first = text[0];
    if (isZone(text)) {
        part.kind = PartKind::Zone;
        return part;
    }
    RemoteTime date;
    if (!isDigit(first)) {
        part.month = monthFromName(text);
        if (part.month)
            part.kind = PartKind::Month;
        else if (readNamedMonthDate(text, date))
            part = dateOf(date);  // "FEB-24-2014"
        return part;
    }
    if (allDigits(text)) {
        const int value = smallNumber(text);
        if (text.size() == 4 && value >= 1000) {
            part.kind = marked ? PartKind::MarkedYear : PartKind::Year;
            part.year = value;
        } else if (text.size() <= 2 && value >= 1 && value <= 31) {
            part.kind = PartKind::Day;
            part.day = value;
        }
        return part;
    }
    if (text.find(':') != std::string_view::npos) {
        if (readClock(text, part.clock) || readHalfDayClock(text, part.clock, part.half)) {
            part.kind = PartKind::Clock;
            part.seconds = text.find(':') != text.rfind(':');
        }
        return part;
    }
    if (readNumericDate(text, date) || readNamedMonthDate(text, date))
        return dateOf(date);  // "2023-03-20", "01-jun-99"
    if (readDottedClock(text, part.clock)) {
        part.kind = PartKind::Clock;
        return part;
    }
    // "03-20": month and day of a recent date in ISO style.
    const std::size_t dash = text.find('-');
    if (dash == 2 && text.size() == 5) {
        const int month = smallNumber(text.substr(0, 2));
        const int day = smallNumber(text.substr(3));
        if (validDay(month, day)) {
            part.kind = PartKind::MonthDay;
            part.month = month;
            part.day = day;
        }
        return part;
    }
    return readUnitDate(text);
}

bool isYear(const Part& p) {
    return p.kind == PartKind::Year || p.kind == PartKind::MarkedYear;
}

// The clock at fields[i], with a half-day mark before it ("下午 03:15") or
// after it ("03:15 PM"). A mark after it is taken only when a field
// follows, and only when it fits the hour. Returns the index of the last
// field taken, 0 when no clock is there.
std::size_t readClockAt(const Fields& fields, std::size_t i, Part& clock) {
    const std::size_t n = fields.size();
    HalfDay half = i < n ? halfDayOf(fields[i].text) : HalfDay::None;
    if (half != HalfDay::None)
        ++i;
    if (i >= n)
        return 0;
    clock = classify(fields[i].text);
    if (clock.kind != PartKind::Clock || (half != HalfDay::None && clock.half != HalfDay::None))
        return 0;
    if (half == HalfDay::None)
        half = clock.half;
    if (half != HalfDay::None)
        return applyHalfDay(half, clock.clock) ? i : 0;
    const HalfDay after = i + 2 < n ? halfDayOf(fields[i + 1].text) : HalfDay::None;
    RemoteTime twelveHour = clock.clock;
    if (after != HalfDay::None && applyHalfDay(after, twelveHour)) {
        clock.clock = twelveHour;
        return i + 1;
    }
    return i;
}

} // namespace

HalfDay halfDayOf(std::string_view text) {
    for (const HalfDayText& h : kHalfDays)
        if (text == h.text)
            return h.half;
    return HalfDay::None;
}

bool readHalfDayClock(std::string_view text, RemoteTime& time, HalfDay& half) {
    std::size_t end = 0;
    while (end < text.size() && (isDigit(text[end]) || text[end] == ':'))
        ++end;
    if (end < text.size()) {
        const HalfDay suffix = halfDayOf(text.substr(end));
        if (suffix == HalfDay::None)
            return false;
        half = suffix;
    }
    return readClock(text.substr(0, end), time);
}

bool applyHalfDay(HalfDay half, RemoteTime& time) {
    if (half == HalfDay::None)
        return true;
    if (time.hour < 1 || time.hour > 12)
        return false;
    time.hour = time.hour % 12 + (half == HalfDay::Afternoon ? 12 : 0);
    return true;
}

bool readUnixTime(std::string_view text, RemoteTime& time) {
    // Eleven digits reach the year 5000; more is no time.
    if (text.size() > 11)
        return false;
    const int64_t seconds = decimalNumber(text);
    if (seconds < 0)
        return false;
    const std::time_t value = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!::gmtime_r(&value, &utc))
        return false;
    time.year = utc.tm_year + 1900;
    time.month = utc.tm_mon + 1;
    time.day = utc.tm_mday;
    time.hour = utc.tm_hour;
    time.minute = utc.tm_min;
    time.second = utc.tm_sec;
    return true;
}

int monthFromName(std::string_view text) {
    if (!text.empty() && static_cast<unsigned char>(text[0]) >= 0x80)
        for (const MonthName& name : kChineseMonthNames)
            if (text == name.text)
                return name.month;
    text = withoutTrailingPunctuation(text);
    char folded[40];
    std::size_t length = 0;
    if (text.size() < 3 || !foldCase(text, folded, sizeof folded, length))
        return 0;
    const std::string_view word(folded, length);
    const std::vector<MonthName>& names = sortedMonthNames();
    auto it = std::lower_bound(names.begin(), names.end(), word,
                               [](const MonthName& name, std::string_view w) { return name.text < w; });
    int found = 0;
    bool ambiguous = false;  // the start of two months' names
    for (; it != names.end() && startsWith(it->text, word); ++it) {
        if (it->text.size() == word.size())
            return it->month;
        ambiguous = ambiguous || (found != 0 && found != it->month);
        found = it->month;
    }
    return ambiguous ? 0 : found;
}

bool readClock(std::string_view text, RemoteTime& time) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2)
        return false;
    const int hour = smallNumber(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 1);
    int second = 0;
    if (rest.size() > 2) {
        if (rest[2] != ':')
            return false;
        std::string_view seconds = rest.substr(3);
        const std::size_t fraction = seconds.find('.');
        if (fraction != std::string_view::npos) {
            if (!allDigits(seconds.substr(fraction + 1)))
                return false;
            seconds = seconds.substr(0, fraction);
        }
        if (seconds.size() != 2)
            return false;
        second = smallNumber(seconds);
        rest = rest.substr(0, 2);
    }
    const int minute = rest.size() == 2 ? smallNumber(rest) : -1;
    if (hour < 0 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return false;
    if (hour > 24 || (hour == 24 && (minute != 0 || second != 0)))
        return false;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    return true;
}

int fullYear(int year, std::size_t digits) {
    if (digits == 2)
        return year < 70 ? 2000 + year : 1900 + year;
    if (digits == 3)
        return 1900 + year;
    return year;
}

bool readNumericDate(std::string_view text, RemoteTime& time) {
    char separator = 0;
    for (char c : text) {
        if (c == '-' || c == '/' || c == '.') {
            separator = c;
            break;
        }
    }
    if (separator == 0)
        return false;
    std::string_view parts[3];
    std::size_t count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            if (count == 3)
                return false;
            parts[count++] = text.substr(start, i - start);
            start = i + 1;
        }
    }
    if (count != 3)
        return false;
    int numbers[3];
    for (std::size_t i = 0; i < 3; ++i) {
        if (parts[i].empty() || parts[i].size() > 4 || !allDigits(parts[i]))
            return false;
        numbers[i] = smallNumber(parts[i]);
    }
    int year, month, day;
    std::size_t yearDigits;
    if (parts[0].size() == 4) {
        year = numbers[0], month = numbers[1], day = numbers[2], yearDigits = 4;
    } else if (parts[2].size() >= 2 && parts[0].size() <= 2 && parts[1].size() <= 2) {
        yearDigits = parts[2].size();
        year = numbers[2];
        const bool dayFirst = separator == '.' || numbers[0] > 12;
        month = dayFirst ? numbers[1] : numbers[0];
        day = dayFirst ? numbers[0] : numbers[1];
    } else {
        return false;
    }
    if (!validDay(month, day))
        return false;
    time.year = fullYear(year, yearDigits);
    time.month = month;
    time.day = day;
    return true;
}

bool readNamedMonthDate(std::string_view text, RemoteTime& time) {
    const std::size_t dash1 = text.find('-');
    const std::size_t dash2 = text.rfind('-');
    if (dash1 == std::string_view::npos || dash1 == dash2)
        return false;
    const std::string_view first = text.substr(0, dash1);
    const std::string_view middle = text.substr(dash1 + 1, dash2 - dash1 - 1);
    const std::string_view year = text.substr(dash2 + 1);
    int month = monthFromName(middle);
    int day = smallNumber(first);
    if (month == 0) {
        month = monthFromName(first);
        day = smallNumber(middle);
    }
    if (month == 0 || day < 1 || day > 31 || (year.size() != 2 && year.size() != 4) || !allDigits(year))
        return false;
    time.year = fullYear(smallNumber(year), year.size());
    time.month = month;
    time.day = day;
    return true;
}

void settleYear(RemoteTime& time, const ListingDate& today) {
    time.year = today.year;
    if (time.month > today.month || (time.month == today.month && time.day > today.day + 1))
        time.year -= 1;
}

void settleMidnight(RemoteTime& time) {
    if (time.hour != 24)
        return;
    time.hour = 0;
    if (++time.day <= daysInMonth(time.year, time.month))
        return;
    time.day = 1;
    if (++time.month <= 12)
        return;
    time.month = 1;
    ++time.year;
}

std::size_t readDateGroup(const Fields& fields, std::size_t first, const ListingDate& today, RemoteTime& time) {
    const std::size_t n = fields.size();
    if (first >= n)
        return 0;
    const Part p0 = classify(fields[first].text);
    if (p0.kind == PartKind::None || p0.kind == PartKind::Clock || p0.kind == PartKind::Zone ||
        p0.kind == PartKind::Year)
        return 0;
    auto part = [&](std::size_t i) { return i < n ? classify(fields[i].text) : Part{}; };

    RemoteTime t;
    std::size_t last = 0;
    bool hasYear = false;
    auto takeClock = [&](const Part& p) {
        t.hour = p.clock.hour;
        t.minute = p.clock.minute;
        t.second = p.clock.second;
    };
    Part clock;
    if (p0.kind == PartKind::Date) {
        t.year = p0.year, t.month = p0.month, t.day = p0.day;
        hasYear = true;
        last = first;
        if (const std::size_t clockEnd = readClockAt(fields, first + 1, clock)) {
            takeClock(clock);
            last = clockEnd;
            if (last + 1 < n && isZone(fields[last + 1].text))
                ++last;
        }
    } else if (p0.kind == PartKind::MarkedYear) {
        // "2023. márc. 20." or "2023年 3月 20日", a time may follow.
        t.year = p0.year;
        hasYear = true;
        const Part p1 = part(first + 1);
        if (p1.kind == PartKind::MonthDay) {
            t.month = p1.month, t.day = p1.day;
            last = first + 1;
        } else if (p1.kind == PartKind::Month) {
            const Part p2 = part(first + 2);
            if (p2.kind != PartKind::Day)
                return 0;
            t.month = p1.month, t.day = p2.day;
            last = first + 2;
        } else {
            return 0;
        }
        if (const std::size_t clockEnd = readClockAt(fields, last + 1, clock)) {
            takeClock(clock);
            last = clockEnd;
        }
    } else {
        // Month and day in either order (or together, or the month as a
        // number first), then a time or a year; "Mar 20 10:00:00 2023" has
        // both.
        std::size_t next;
        if (p0.kind == PartKind::MonthDay) {
            t.month = p0.month, t.day = p0.day;
            next = first + 1;
        } else {
            const Part p1 = part(first + 1);
            if (p0.kind == PartKind::Month && p1.kind == PartKind::Day)
                t.month = p0.month, t.day = p1.day;
            else if (p0.kind == PartKind::Day && p1.kind == PartKind::Month)
                t.month = p1.month, t.day = p0.day;
            else if (p0.kind == PartKind::Day && p0.day <= 12 && p1.kind == PartKind::Day)
                t.month = p0.day, t.day = p1.day;  // "3 20 10:00": a month by its number
            else
                return 0;
            next = first + 2;
        }
        const Part p = part(next);
        if (isYear(p)) {
            t.year = p.year;
            hasYear = true;
            // "Oct 08, 2002 09:47": a time after the year, the name after it.
            const std::size_t clockEnd = readClockAt(fields, next + 1, clock);
            if (clockEnd && clockEnd + 1 < n) {
                takeClock(clock);
                next = clockEnd;
            }
        } else if (const std::size_t clockEnd = readClockAt(fields, next, clock)) {
            takeClock(clock);
            next = clockEnd;
            const Part year = clock.seconds ? part(next + 1) : Part{};
            if (isYear(year)) {
                t.year = year.year;
                hasYear = true;
                ++next;
            }
        } else {
            return 0;
        }
        last = next;
    }
    if (!validDay(t.month, t.day))
        return 0;
    if (!hasYear)
        settleYear(t, today);
    settleMidnight(t);
    time = t;
    return last;
}

} // namespace ftp::listing
