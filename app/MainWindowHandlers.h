#pragma once
// The main window's own handlers: its life, its size, the toolbar and the
// small commands of the FTP and help menus.

void mainWindowCreated();
void mainWindowClosing();
void relayoutMainWindow(int clientWidth, int clientHeight);
void toolbarButtonClicked(int index);
void toggleAutoConnect();
void toggleTlsOnly();
void openServerManager();
void showHelp();
void showAbout();
