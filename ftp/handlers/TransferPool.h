#pragma once
// Connections for transfers, apart from the one the window browses on: a
// batch moves its files on connections of its own, so the user browses,
// refreshes, renames and makes folders while it runs. Each is made like
// the browsing connection (same server, login and protection; a
// certificate or host key the user accepted is not asked about again; TLS
// sessions resumed) and kept for the next batch when the batch is done.
//
// An idle pool connection is closed after 60 s: before a keep-alive NOOP
// would be due (120 s), so none ever needs one, and well inside the idle
// limits of servers (vsftpd 300 s) that would otherwise drop it under us.
//
// A server that refuses an extra connection as too many lowers the count
// for this session to the connections it accepted (never below 1); the
// full count is tried again 5 minutes after the last refusal, as a server
// at its limit is often so only for a while. With the browsing connection
// there are never more than N + 1 connections to a server.
#include "ftp/handlers/CurrentSession.h"

#include "ftp/TransferFailure.h"

#include <string>

// The setting (section "shuji") of how many files a batch moves at once.
constexpr const char* kTransferConnectionsSetting = "同时传输数";
// Three at once: most of a small file's time over a real link is round
// trips, and three connections hide most of them, while servers that
// limit connections per address seldom allow fewer than three or four.
constexpr int kDefaultTransferConnections = 3;
constexpr int kMaxTransferConnections = 10;

// The count a text gives: 1..10, or 0 when it is anything else.
int transferCountOf(const std::string& text);
// The setting, within 1..10; the default when it is missing or unreadable.
int transferConnectionsSetting();
// Tests: the count when the setting is missing or unreadable, instead of
// the program's default (the suite's windows move one file at a time
// unless a test asks for more).
void setTransferConnectionsDefault(int count);
bool storeTransferConnectionsSetting(int count);

struct TransferPoolTimes {
    int idleCloseMs = 60 * 1000;
    int raiseAfterMs = 5 * 60 * 1000;
};
// Tests: other times.
void setTransferPoolTimes(const TransferPoolTimes& times);

// How many transfer connections batches on the browsing session may have
// now: the setting, or fewer while the server's refusal counts.
int transferConnectionLimit(const SessionHandle& browsing);

// A connection for a batch: an idle one of the pool that is still good,
// or a new one made like the browsing session. Null when the limit's
// connections are all in use, or a new one could not be made (failure
// says why; a refusal for too many connections lowers the limit).
SessionHandle takeTransferConnection(const SessionHandle& browsing, TransferFailure& failure);
// The batch is done with it: kept idle while it is connected and its
// browsing session is the current one, else closed.
void giveBackTransferConnection(const SessionHandle& browsing, SessionHandle connection);

// Closes the idle connections whose time is up, and those of a browsing
// session that is gone, no longer current or disconnected.
void closeIdleTransferConnections();

// Any thread, never waiting for the network: aborts what runs on the pool
// connections of the browsing session (all of them: whole connections).
void abortTransferConnectionsOf(const RemoteSession* browsing);
void abortAllTransferConnections();

// Connections the pool holds for the browsing session, in use and idle.
int transferConnectionsOpen(const SessionHandle& browsing);
