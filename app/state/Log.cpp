#include "app/state/Log.h"

#include "app/forms/MainWindow.h"

void appendLog(const std::string& text) {
    mainWindow().消息框.appendText(text + "\n");
}
