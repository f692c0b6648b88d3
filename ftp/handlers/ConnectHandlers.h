#pragma once
// Connecting to the chosen server and disconnecting.

void connectServer();
void disconnectServer();
// Closes the FTP connection if one is open (window close).
void closeFtpConnection();
