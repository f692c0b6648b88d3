#include "ftp/ConnectionSetting.h"

#include "platform/TextCodec.h"

#include <climits>

std::vector<std::string> splitConnectionFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start < text.size()) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return fields;
}

std::optional<ConnectionSetting> parseConnectionSetting(const std::string& text) {
    std::vector<std::string> f = splitConnectionFields(text);
    // The joined form of a setting with an empty password ends in "|",
    // which the split does not count as a field: that password is empty.
    if (f.size() == 4 && text.back() == '|')
        f.emplace_back();
    if (f.size() < 5)
        return std::nullopt;
    return ConnectionSetting{f[0], f[1], f[2], f[3], f[4]};
}

std::string joinConnectionSetting(const ConnectionSetting& s) {
    return s.name + "|" + s.address + "|" + s.port + "|" + s.user + "|" + s.password;
}

int portFromText(const std::string& text) {
    const std::string t = platform::toHalfWidth(text);
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        value = value * 10 + (t[i] - '0');
        if (value > INT_MAX)  // overflow: keep a value no port can have
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}
