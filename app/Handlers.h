#pragma once
// Every handler the two windows' events are bound to. The shell's own
// handlers live in app/; the others in the folder of their subsystem.
#include <string>
#include <vector>

// Shell (app/).
void mainWindowCreated();
void mainWindowClosing();
void relayoutMainWindow(int clientWidth, int clientHeight);
void toolbarButtonClicked(int index);
void toggleAutoConnect();
void toggleTlsOnly();
void openServerManager();
void showHelp();
void showAbout();

// Connect, disconnect and the remote list (ftp/).
void connectServer();
void disconnectServer();
// Closes the FTP connection if one is open (window close).
void closeFtpConnection();
void listRemoteDirectory();
void refreshRemote();
void goUpRemote();
void remoteItemDoubleClicked();
void remotePathEntered();

// Transfers (transfer/).
void downloadButton();
void downloadCommand();
void downloadAll();
// Double-click on a remote file: download it and open it.
void openRemoteFile();
void uploadButton();
void downloadProgressTick();
void remoteWatchTick();

// File operations (fileops/).
void deleteRemoteCommand();
void deleteLocalSelected();
void deleteLocalAll();
void renameRemote();
void makeRemoteDirectory();
void openLocalFile();
void openLocalWithNotepad();

// Local side (local/).
void listLocalDirectory();
void chooseLocalDirectory();
void goUpLocal();
void openLocalItem();
void localHistoryItemChosen();
void localPathEntered();
void dropOnLocalList(const std::vector<std::string>& paths);

// Server manager (serverbook/).
void serverManagerCreated();
void serverManagerClosing();
void showSelectedServer();
void saveServer();
void deleteServer();
void connectToShownServer();
