#pragma once
// What a server's failure reply says about trying again.
//
// Transient (worth a reconnect and another try):
//   421 the server is closing the connection (shutting down, idle, overloaded)
//   425 the data connection could not be opened (ports, firewalls, a busy server)
//   426 the data connection broke off during the transfer
//   450 the file is busy or locked for the moment
//   451 the server hit a local error while it processed the command
// Everything else of 4xx is not: 452 (insufficient storage) does not clear
// up within seconds, and the 43x security replies are answers, not moods.
// 5xx is permanent by definition.
//
// A 421, or a 530 at login, whose text says the server has no room for
// another connection is TooManyConnections: that is waited out, and never
// taken for a wrong password.
#include <string>

#include "ftp/TransferFailure.h"

namespace ftp {

// The failure a reply means. atLogin: the reply answers the greeting, USER
// or PASS.
TransferFailure failureOfReply(int code, const std::string& text, bool atLogin);

// The reply text says the server's connection limit turned us away, as the
// common servers word it: vsftpd "There are too many connected users",
// pyftpdlib "Too many connections", ProFTPD "the maximum number of clients
// ... are already connected", Pure-FTPd "10 users (the maximum) are already
// logged in", others "no more connections allowed". A text about failed
// logins ("too many login failures") is not: waiting and trying the same
// password again would only lock the account.
bool saysTooManyConnections(const std::string& text);

} // namespace ftp
