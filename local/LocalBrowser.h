#pragma once
// Browsing local folders in the upload list.

void listLocalDirectory();
void chooseLocalDirectory();
void goUpLocal();
void openLocalItem();
void localHistoryItemChosen();
void localPathEntered();
