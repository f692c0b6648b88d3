#pragma once
// What the two windows' events call. The forms only build the windows; the
// start-up fills these tables with the handlers, so that no form depends on
// the code that runs behind it.
#include <functional>
#include <map>
#include <string>
#include <vector>

using EventAction = std::function<void()>;

// Runs the action if one is bound.
inline void runEvent(const EventAction& action) {
    if (action)
        action();
}

struct MainWindowEvents {
    // The window itself.
    EventAction created;
    EventAction closing;
    std::function<void(int clientWidth, int clientHeight)> resized;
    // Toolbar buttons by position, the separator counted.
    std::function<void(int index)> toolbarButton;
    // Menu items by caption, e.g. "连接(&L)".
    std::map<std::string, EventAction> menuItems;

    // Timers.
    EventAction progressTick;    // 时钟1
    EventAction remoteWatchTick; // 时钟_进度

    // Buttons.
    EventAction downloadClicked; // 下载钮
    EventAction uploadClicked;   // 上传钮
    EventAction browseClicked;   // 浏览钮
    EventAction localUpClicked;  // 反退钮1
    EventAction remoteUpClicked; // 反退钮

    // Path boxes: an item of the local history chosen, Enter in either box.
    EventAction localHistoryChosen;
    EventAction localPathEntered;
    EventAction remotePathEntered;

    // The two lists.
    EventAction localItemDoubleClicked;
    EventAction remoteItemDoubleClicked;
    std::function<void(const std::vector<std::string>& paths)> droppedOnLocalList;
};

struct ServerManagerEvents {
    EventAction created;
    EventAction closing;
    EventAction serverChosen;   // an entry of 组合框_服务器名称 chosen
    EventAction saveClicked;    // 按钮4
    EventAction deleteClicked;  // 按钮5
    EventAction connectClicked; // 按钮3
};
