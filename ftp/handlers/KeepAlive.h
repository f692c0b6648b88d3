#pragma once
// Keeps an idle connection from being dropped: while connected and idle, a
// NOOP every 120 s. That is well inside the idle limits that end
// connections first: vsftpd's 300 s and the 5 minutes after which many NAT
// routers and firewalls forget a quiet connection. Nothing is sent while
// any command runs (the engine also refuses during a transfer), and after
// 30 minutes without a user command the keep-alive lets the connection go
// idle: the server may then drop it, and the next command makes it again.
// The NOOPs run on a thread of their own, never on the UI thread.

struct KeepAliveTimes {
    int intervalMs = 120 * 1000;
    int idleLimitMs = 30 * 60 * 1000;
};

// Tests: other times, before the window opens.
void setKeepAliveTimes(const KeepAliveTimes& times);

// Window created: starts the thread. Window closing (UI thread): ends it at
// once, a NOOP waiting for its reply included.
void startKeepAlive();
void stopKeepAlive();

// Any thread: a user command starts now (the idle limit counts from here).
void noteUserCommand();
