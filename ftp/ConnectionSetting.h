#pragma once
// The server to connect to, as stored under "IP信息": name, address, port,
// user name and password joined by "|".
#include <optional>
#include <string>
#include <vector>

struct ConnectionSetting {
    std::string name;
    std::string address;
    std::string port;
    std::string user;
    std::string password;
};

// Splits at every "|": empty fields between separators count, an empty text
// after the last separator does not. An empty text has no fields.
std::vector<std::string> splitConnectionFields(const std::string& text);

// The setting, or nothing when there are fewer than five fields; a text
// of four fields that ends in "|" (an empty password, as joined) has an
// empty fifth. Fields after the fifth are ignored.
std::optional<ConnectionSetting> parseConnectionSetting(const std::string& text);

std::string joinConnectionSetting(const ConnectionSetting& setting);

// The port text read the way atoi reads it (leading blanks, an optional
// sign, digits; no digits give 0), after full-width characters have been
// made single-byte: "２１２１" is 2121, "abc" is 0.
int portFromText(const std::string& text);
