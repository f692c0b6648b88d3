// The server manager: keeping the book of saved servers and handing the
// chosen one to the connect flow through the settings file.
#include "serverbook/handlers/ServerManagerHandlers.h"

#include "app/controls/Dialogs.h"
#include "app/forms/ServerManagerWindow.h"
#include "app/state/AppState.h"
#include "app/state/Settings.h"
#include "app/state/WorkerThreads.h"
#include "ftp/ConnectionSetting.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "platform/LocalFiles.h"
#include "platform/SettingsLocation.h"
#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"

#include <cstdlib>
#include <string>
#include <vector>

using serverbook::RecordDatabase;
using serverbook::RecordView;

namespace {

std::string serverBookPath() {
    return platform::settingsFolder() + "/ipsjk.edb";
}

std::vector<std::string> splitAtBar(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            return parts;
        start = bar + 1;
    }
}

// Makes the record whose name is exactly this one current.
bool findServer(const std::string& name) {
    if (!appState().serverBook.isOpen())
        return false;
    RecordDatabase::goFirst();
    return RecordDatabase::find([&name](const RecordView& record) {
        return record.readField(serverbook::kFieldServerName) == name;
    });
}

std::vector<serverbook::FieldValue> shownServer() {
    ServerManagerWindow& w = serverManagerWindow();
    return {w.组合框_服务器名称.text(), w.编辑框_服务器地址.text(), w.编辑框_端口.text(),
            w.编辑框_用户名.text(), w.编辑框_密码.text()};
}

void addLegacyNames() {
    const std::string legacy = readSetting("IP数据");
    if (legacy.empty())
        return;
    std::vector<std::string> parts = splitAtBar(legacy);
    for (size_t i = 0; i < parts.size(); i += 3)
        serverManagerWindow().组合框_服务器名称.addItem(parts[i]);
}

void createServerBookFile(const std::string& path) {
    serverbook::ServerBook& book = appState().serverBook;
    book.addField(serverbook::kFieldServerName, 10, serverbook::kServerNameWidth);
    book.addField(serverbook::kFieldAddress, 10, serverbook::kAddressWidth);
    book.addField(serverbook::kFieldPort, 10, serverbook::kPortWidth);
    book.addField(serverbook::kFieldUserName, 10, serverbook::kUserNameWidth);
    book.addField(serverbook::kFieldPassword, 10, serverbook::kPasswordWidth);
    book.create(path);
}

} // namespace

void serverManagerCreated() {
    ServerManagerWindow& w = serverManagerWindow();
    addLegacyNames();
    const std::string path = serverBookPath();
    // A link at the book's name (even one to nothing) is never written through.
    if (!platform::pathExists(path) && !platform::isSymlink(path))
        createServerBookFile(path);
    if (!appState().serverBook.open(path))
        return;
    RecordDatabase::goFirst();
    while (!RecordDatabase::atEnd()) {
        w.组合框_服务器名称.addItem(RecordDatabase::readField(serverbook::kFieldServerName));
        if (!RecordDatabase::skip(1))
            break;
    }
    w.组合框_服务器名称.setCurrentSelection(std::atoi(readSetting("当前IP", "-1").c_str()));
    showSelectedServer();
}

void serverManagerClosing() {
    appState().serverBook.close();
}

void showSelectedServer() {
    ServerManagerWindow& w = serverManagerWindow();
    const int selected = w.组合框_服务器名称.currentSelection();
    if (selected < 0)
        return;
    if (!findServer(w.组合框_服务器名称.itemText(selected)))
        return;
    w.编辑框_服务器地址.setText(RecordDatabase::readField(serverbook::kFieldAddress));
    w.编辑框_端口.setText(RecordDatabase::readField(serverbook::kFieldPort));
    w.编辑框_用户名.setText(RecordDatabase::readField(serverbook::kFieldUserName));
    w.编辑框_密码.setText(RecordDatabase::readField(serverbook::kFieldPassword));
    writeSetting("当前IP", std::to_string(selected));
}

void saveServer() {
    ServerManagerWindow& w = serverManagerWindow();
    const std::string name = w.组合框_服务器名称.text();
    if (w.编辑框_服务器地址.text().empty() || name.empty() || w.编辑框_用户名.text().empty() ||
        w.编辑框_密码.text().empty()) {
        ui::messageBox("请输入完整信息再保存");
        return;
    }
    if (findServer(name)) {
        RecordDatabase::modify(shownServer());
        return;
    }
    if (appState().serverBook.isOpen() && RecordDatabase::append(shownServer())) {
        w.组合框_服务器名称.addItem(name);
        ui::messageBox("已保存", ui::kMbOk | ui::kMbIconInformation);
    } else {
        ui::messageBox("保存失败", ui::kMbOk | ui::kMbIconInformation);
    }
}

void deleteServer() {
    ServerManagerWindow& w = serverManagerWindow();
    const int selected = w.组合框_服务器名称.currentSelection();
    if (selected < 0) {
        ui::messageBox("请选择要删除的服务器名");
        return;
    }
    if (!findServer(w.组合框_服务器名称.itemText(selected)))
        return;
    RecordDatabase::markDeleted();
    RecordDatabase::purge();
    w.组合框_服务器名称.removeItem(selected);
    const int left = w.组合框_服务器名称.itemCount();
    if (left > 0) {
        w.组合框_服务器名称.setCurrentSelection(selected < left ? selected : left - 1);
        showSelectedServer();
        return;
    }
    w.组合框_服务器名称.setText(std::string());
    w.编辑框_服务器地址.setText(std::string());
    w.编辑框_端口.setText(std::string());
    w.编辑框_用户名.setText(std::string());
    w.编辑框_密码.setText(std::string());
}

void connectToShownServer() {
    ServerManagerWindow& w = serverManagerWindow();
    if (w.编辑框_服务器地址.text().empty() || w.编辑框_用户名.text().empty() ||
        w.编辑框_密码.text().empty()) {
        ui::messageBox("请输入完整信息!");
        return;
    }
    const std::string setting = joinConnectionSetting({w.组合框_服务器名称.text(), w.编辑框_服务器地址.text(),
                                                       w.编辑框_端口.text(), w.编辑框_用户名.text(),
                                                       w.编辑框_密码.text()});
    // The connect takes the server shown from here, not back from the file:
    // a file that cannot be written would still name the one saved before.
    appState().chosenServer.set(setting);
    writeSetting("IP信息", setting);
    startWorker(connectServer);
    w.window.close();
}
