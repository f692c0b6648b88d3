#pragma once
#include "ftp/RemoteSession.h"

// Texts of pane 0 of the status bar. Other handlers read pane 0 back and
// compare it with kConnectedText to learn whether a connection is up.
constexpr const char* kConnectingText = "正在连接服务器...";
constexpr const char* kConnectedText = "连接服务器成功";
constexpr const char* kConnectFailedText = "连接服务器失败！";
constexpr const char* kDisconnectedText = "已断开服务器";
constexpr const char* kWindowTitle = "Corvane";

// Setting (section "shuji"): "真" refuses FTP servers that do not protect
// the connection and its data with TLS (SSH always protects both).
constexpr const char* kTlsOnlySetting = "仅用加密连接";

// True when pane 0 reads exactly kConnectedText.
bool connectionIsUp();

// When no connection attempt has succeeded yet, connects on this thread and
// learns the outcome from pane 0. A failed connect shows "连接服务器失败!"
// and returns false.
bool connectIfNeeded();

// The directory the remote path box should follow: enters the box's path
// on the session, or shows the server's current directory when the box is
// empty or its path cannot be entered.
void enterTypedDirectory(RemoteSession& session);
