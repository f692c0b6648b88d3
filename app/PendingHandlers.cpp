// Handlers whose behaviour has not been built yet. Each does nothing until
// its subsystem replaces it here.
#include "app/Handlers.h"

void connectServer() {}
void disconnectServer() {}
void closeFtpConnection() {}
void listRemoteDirectory() {}
void refreshRemote() {}
void goUpRemote() {}
void remoteItemDoubleClicked() {}
void remotePathEntered() {}

void downloadButton() {}
void downloadCommand() {}
void downloadAll() {}
void uploadButton() {}
void downloadProgressTick() {}
void remoteWatchTick() {}

void deleteRemoteCommand() {}
void deleteLocalSelected() {}
void deleteLocalAll() {}
void renameRemote() {}
void makeRemoteDirectory() {}
void openLocalFile() {}
void openLocalWithNotepad() {}

void serverManagerCreated() {}
void serverManagerClosing() {}
void showSelectedServer() {}
void saveServer() {}
void deleteServer() {}
void connectToShownServer() {}
