#pragma once
// The server manager window: showing, saving and deleting book entries and
// connecting to the one shown.

void serverManagerCreated();
void serverManagerClosing();
void showSelectedServer();
void saveServer();
void deleteServer();
void connectToShownServer();
