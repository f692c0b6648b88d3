#include "bench/relay/FtpRewrite.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace relay {

namespace {

// The comma-separated numbers starting at text[from] ("127,0,0,1,4,1").
std::vector<int> numbersFrom(const std::string& text, std::size_t from) {
    std::vector<int> numbers;
    std::size_t i = from;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        std::size_t end = i;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) && end - i < 6)
            ++end;
        numbers.push_back(std::atoi(text.substr(i, end - i).c_str()));
        if (end >= text.size() || text[end] != ',')
            break;
        i = end + 1;
    }
    return numbers;
}

// h1,h2,h3,h4,p1,p2 anywhere after from: the port, or 0.
int hostPortNumbers(const std::string& text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            continue;
        std::vector<int> n = numbersFrom(text, i);
        if (n.size() == 6 && n[4] < 256 && n[5] < 256)
            return n[4] * 256 + n[5];
        while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == ','))
            ++i;
    }
    return 0;
}

int portNumber(const std::string& text) {
    if (text.empty() || text.size() > 5)
        return 0;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
    int port = std::atoi(text.c_str());
    return port > 0 && port < 65536 ? port : 0;
}

// "|1|127.0.0.1|1025|" (any delimiter): the port, or 0.
int eprtPort(const std::string& argument) {
    if (argument.size() < 6)
        return 0;
    const char d = argument[0];
    std::vector<std::string> fields;
    std::size_t start = 1;
    for (std::size_t i = 1; i < argument.size(); ++i) {
        if (argument[i] == d) {
            fields.push_back(argument.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields.size() == 3 ? portNumber(fields[2]) : 0;
}

std::string argumentOf(const std::string& line) {
    std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return {};
    std::size_t start = line.find_first_not_of(' ', space);
    return start == std::string::npos ? std::string() : line.substr(start);
}

} // namespace

std::string commandVerb(const std::string& line) {
    std::string verb;
    for (char c : line) {
        if (c == ' ')
            break;
        verb += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return verb;
}

ParsedAddress parseCommand(const std::string& line) {
    const std::string verb = commandVerb(line);
    ParsedAddress parsed;
    if (verb == "PORT") {
        parsed.port = hostPortNumbers(argumentOf(line), 0);
        parsed.kind = AddressLine::Port;
    } else if (verb == "EPRT") {
        parsed.port = eprtPort(argumentOf(line));
        parsed.kind = AddressLine::Eprt;
    }
    if (parsed.port == 0)
        parsed.kind = AddressLine::None;
    return parsed;
}

ParsedAddress parseReply(const std::string& line) {
    ParsedAddress parsed;
    if (line.rfind("227 ", 0) == 0) {
        parsed.port = hostPortNumbers(line, 4);
        parsed.kind = AddressLine::Pasv;
    } else if (line.rfind("229 ", 0) == 0) {
        // "(|||port|)": three delimiters, the port, a fourth
        std::size_t open = line.find('(', 4);
        if (open != std::string::npos && open + 4 < line.size()) {
            const char d = line[open + 1];
            std::size_t start = open + 4;
            std::size_t end = line.find(d, start);
            if (line[open + 2] == d && line[open + 3] == d && end != std::string::npos)
                parsed.port = portNumber(line.substr(start, end - start));
        }
        parsed.kind = AddressLine::Epsv;
    }
    if (parsed.port == 0)
        parsed.kind = AddressLine::None;
    return parsed;
}

std::string addressLine(AddressLine kind, int port) {
    const std::string hi = std::to_string(port / 256), lo = std::to_string(port % 256);
    switch (kind) {
    case AddressLine::Port:
        return "PORT 127,0,0,1," + hi + "," + lo + "\r\n";
    case AddressLine::Eprt:
        return "EPRT |1|127.0.0.1|" + std::to_string(port) + "|\r\n";
    case AddressLine::Pasv:
        return "227 Entering Passive Mode (127,0,0,1," + hi + "," + lo + ").\r\n";
    case AddressLine::Epsv:
        return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
    case AddressLine::None:
        break;
    }
    return {};
}

} // namespace relay
