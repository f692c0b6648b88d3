#pragma once
// The session to the current server, of whichever protocol it speaks:
// every remote operation of the window goes through one. Each connect
// makes a new session and makes it current.
//
// An operation takes the current session when it starts and keeps it to
// its end (a batch keeps it in its snapshot): a connect elsewhere while a
// batch runs neither cuts nor replaces the connection under it, and a
// session ends (its connection closed) when its last user lets go.
#include "ftp/RemoteSession.h"

#include <cstdint>
#include <memory>

namespace ftp {
class AbortSignal;
}

using SessionHandle = std::shared_ptr<RemoteSession>;

// Any thread. Never null: before the first connect, and after a connect
// was dropped, a session that is not connected, on which every operation
// fails.
SessionHandle currentSession();

// The time-outs of every session from now on, the current one included.
void setSessionTimeouts(const FtpTimeouts& timeouts);
FtpTimeouts sessionTimeouts();

// Lets go of the current session (a new connect drops the old
// connection); operations that still hold it finish on it.
void dropCurrentSession();

// Any thread: ends at once what runs on the current session, its transfer
// connections and a connect in progress (断开).
void abortCurrentSession();
// Any thread: aborts every session still in use, older ones that workers
// hold and transfer connections included, and a connect in progress
// (closing the window).
void abortAllSessions();

// One connect, from its start to the session it made. A connect started
// later supersedes it: its attempt is aborted and it must change nothing
// (the last connect decides what the window shows).
class PendingConnect {
public:
    PendingConnect();
    ~PendingConnect();
    PendingConnect(const PendingConnect&) = delete;
    PendingConnect& operator=(const PendingConnect&) = delete;

    // Ends the detection of the protocol.
    const ftp::AbortSignal& signal() const;
    // The session being connected, so that an abort reaches it; valid until
    // untrack() or finish().
    void track(RemoteSession& session);
    // The tracked session is about to go (a new attempt replaces it).
    void untrack();
    // The connect returned: the session is no longer reached through
    // here. True unless the connect was aborted or superseded meanwhile.
    bool finish();
    bool superseded() const;
    // Makes the connected session the current one, unless a later connect
    // superseded this one. False when it did not.
    bool makeCurrent(SessionHandle session);

private:
    uint64_t attempt_ = 0;
    std::unique_ptr<ftp::AbortSignal> signal_;
};
