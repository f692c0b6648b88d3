#pragma once
// The main window's own handlers: its life, its size, the toolbar and the
// small commands of the FTP and help menus.

void mainWindowCreated();
void mainWindowClosing();
void relayoutMainWindow(int clientWidth, int clientHeight);
void toolbarButtonClicked(int index);
void toggleAutoConnect();
void toggleTlsOnly();
// Asks how many files a batch moves at once (1 to 10) and keeps it.
void chooseTransferCount();
void openServerManager();
void showHelp();
void showAbout();
