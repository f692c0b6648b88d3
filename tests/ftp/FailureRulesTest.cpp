// Which server replies are worth another try, and which say the server's
// connection limit turned us away (in the words real servers use).
#include "ftp/FailureRules.h"

#include <gtest/gtest.h>

namespace {

TEST(FailureRules, ReplyCodesSayWhetherTryingAgainMayHelp) {
    struct Case {
        int code;
        const char* text;
        TransferFailure failure;
    };
    const Case cases[] = {
        {421, "Service not available, closing control connection.", TransferFailure::Transient},
        {421, "Timeout.", TransferFailure::Transient},
        {425, "Can't open data connection.", TransferFailure::Transient},
        {426, "Transfer aborted; 1048576 bytes transmitted.", TransferFailure::Transient},
        {450, "File busy.", TransferFailure::Transient},
        {451, "Local error in processing.", TransferFailure::Transient},
        {452, "Insufficient storage space.", TransferFailure::Permanent},
        {431, "Need some unavailable resource to process security.", TransferFailure::Permanent},
        {500, "Unknown command.", TransferFailure::Permanent},
        {550, "No such file or directory.", TransferFailure::Permanent},
        {552, "Exceeded storage allocation.", TransferFailure::Permanent},
        {553, "Could not create file.", TransferFailure::Permanent},
        {332, "Need account for login.", TransferFailure::Permanent},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ftp::failureOfReply(c.code, c.text, false), c.failure) << c.code << " " << c.text;
}

TEST(FailureRules, ConnectionLimitsAreToldApartFromWrongPasswords) {
    const char* limits[] = {
        "421 There are too many connected users, please try later.",              // vsftpd max_clients
        "421 There are too many connections from your internet address.",         // vsftpd max_per_ip
        "421 Too many connections. Service temporarily unavailable.",             // pyftpdlib max_cons
        "421 Too many connections from the same IP address.",                     // pyftpdlib max_cons_per_ip
        "530 Sorry, the maximum number of clients (5) for this user are already connected.",  // ProFTPD
        "530 Sorry, the maximum number of allowed clients (10) are already connected.",       // ProFTPD
        "421 10 users (the maximum) are already logged in, sorry",               // Pure-FTPd
        "421 Too many connections (3) from this IP",                              // Pure-FTPd
        "421 Too many users are connected, please try again later.",
        "530-Sorry, you are not allowed to connect more than 2 times from 10.1.2.3\n530 .",
        "530 No more connections allowed from your IP.",
    };
    for (const char* text : limits) {
        const int code = std::atoi(text);
        EXPECT_EQ(ftp::failureOfReply(code, text, true), TransferFailure::TooManyConnections) << text;
    }
    const char* notLimits[] = {
        "530 Login incorrect.",
        "530 Login authentication failed",
        "530 Too many login failures, try again later.",
        "421 Too many invalid password attempts.",
        "421 Control connection timed out.",
    };
    for (const char* text : notLimits)
        EXPECT_NE(ftp::failureOfReply(std::atoi(text), text, true), TransferFailure::TooManyConnections) << text;
    EXPECT_EQ(ftp::failureOfReply(530, "530 Login incorrect.", true), TransferFailure::Permanent);
    // A 530 after the login is about rights, whatever its words.
    EXPECT_EQ(ftp::failureOfReply(530, "530 Too many connections", false), TransferFailure::Permanent);
}

} // namespace
