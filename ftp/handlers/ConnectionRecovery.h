#pragma once
// Keeping the user's connection usable: a server at its connection limit is
// waited out, and a connection the server closed (while idle, or just as a
// command ran) is made again before the user's command, silently. Only a
// reconnect that fails shows the user a failure, as a failed connect does.
#include "ftp/RemoteSession.h"

#include <functional>
#include <vector>

// Runs the connect (or reconnect) attempt, and again after a wait while the
// server turns it away for its connection limit (atLimit() after a failed
// attempt: 421 "too many...", OpenSSH's MaxStartups), each wait logged;
// never taken for a wrong login. Ends early when stopped(). Returns whether
// the last attempt connected.
bool connectWaitingForRoom(const std::function<bool()>& attempt, const std::function<bool()>& atLimit,
                           const std::function<bool()>& stopped);

// The waits between those attempts, in milliseconds: 5 s, 10 s, 15 s and
// 30 s, five attempts in about a minute. A server frees a place when a
// client leaves or its idle time-out ends one; a minute covers the usual
// short sessions, and a wait that grows asks it for a login less often.
std::vector<int> standardConnectionLimitWaits();
std::vector<int> connectionLimitWaits();
// Tests: other waits.
void setConnectionLimitWaits(const std::vector<int>& waits);

// A stop check for work starting now: true once the user pressed 断开 after
// this call, or the window is closing.
std::function<bool()> stoppedByDisconnect();

// Before a user's command on the session, on its worker: notes the command
// (the keep-alive counts idle time from it) and, when the connection was up
// but the server has closed it, makes it again. False when that reconnect
// failed: pane 0 then reads "连接服务器失败！", a message box said so, and
// the command is not to run.
bool connectionReadyForCommand(RemoteSession& session);

// After a user's command failed on this thread on the session: true when it
// failed because the connection dropped just then and a reconnect made it
// again, so the command may run once more. A failed reconnect is shown as
// above.
bool reconnectedAfterDrop(RemoteSession& session);

// Pane 0 and the connected state tell of the current server's session
// only; for an earlier server's session (a batch still working on it)
// these change nothing.
// After any reconnect: pane 0 reads "连接服务器成功" again.
void showReconnected(const RemoteSession& session);
// After a reconnect that failed for good: pane 0 reads "连接服务器失败！" and
// the connection counts as down, as after a failed connect (the next
// refresh connects anew); why, when the protection was the reason, goes to
// the log.
void showReconnectFailed(const RemoteSession& session);
