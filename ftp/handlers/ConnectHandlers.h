#pragma once
// Connecting to the chosen server and disconnecting.

// Connects to the server the server manager chose in this run, else to the
// one the settings file names ("IP信息").
void connectServer();
void disconnectServer();
// Closes the current server's connection if one is open (window close).
void closeFtpConnection();
