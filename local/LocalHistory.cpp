#include "local/LocalHistory.h"

#include "app/forms/MainWindow.h"
#include "app/state/Settings.h"

#include <algorithm>
#include <string>

namespace {
constexpr int kSavedHistoryItems = 11;
}

void saveLocalHistory() {
    ui::ComboControl& box = mainWindow().本地目录框;
    const std::string current = box.text();
    std::string value = current;
    bool found = false;
    const int walked = std::min(box.itemCount(), kSavedHistoryItems);
    for (int i = 0; i < walked; ++i) {
        const std::string item = box.itemText(i);
        if (item == current)
            found = true;
        else
            value += "," + item;
    }
    if (!found)
        box.addItem(current);
    writeSetting("本地目录", value);
}
