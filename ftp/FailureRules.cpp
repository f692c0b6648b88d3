#include "ftp/FailureRules.h"

#include <cctype>

namespace ftp {

namespace {

// Ways servers say their connection limit is reached.
constexpr const char* kLimitWords[] = {
    "too many",          "the maximum",        "maximum number", "no more connection", "more connections",
    "connection limit",  "already connected",  "connect more than", "simultaneous",   "overloaded",
};
// Ways they say the login itself failed.
constexpr const char* kLoginFailureWords[] = {"fail", "attempt", "incorrect", "invalid", "password"};

std::string lowered(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

template <std::size_t N>
bool containsAny(const std::string& text, const char* const (&words)[N]) {
    for (const char* word : words)
        if (text.find(word) != std::string::npos)
            return true;
    return false;
}

} // namespace

bool saysTooManyConnections(const std::string& text) {
    const std::string lower = lowered(text);
    return containsAny(lower, kLimitWords) && !containsAny(lower, kLoginFailureWords);
}

TransferFailure failureOfReply(int code, const std::string& text, bool atLogin) {
    switch (code) {
    case 421:
        return saysTooManyConnections(text) ? TransferFailure::TooManyConnections : TransferFailure::Transient;
    case 425:
    case 426:
    case 450:
    case 451:
        return TransferFailure::Transient;
    case 530:
        return atLogin && saysTooManyConnections(text) ? TransferFailure::TooManyConnections
                                                       : TransferFailure::Permanent;
    default:
        return TransferFailure::Permanent;
    }
}

} // namespace ftp
