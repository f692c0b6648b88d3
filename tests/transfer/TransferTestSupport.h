#pragma once
// A main window connected to a real server, with a local folder of its own.
#include "app/state/WorkerThreads.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "tests/support/FtpServers.h"
#include "tests/support/GuiHarness.h"

#include <QTreeView>

#include <string>
#include <vector>

namespace testsupport {

class ConnectedWindow {
public:
    // Opens the window on the local folder and connects it to 127.0.0.1:port.
    ConnectedWindow(int port, const std::string& user, const std::string& password,
                    const std::string& remoteDirectory = "/") {
        local.makeFolder("");
        h.writeSetting("本地目录", local.path());
        h.writeSetting("服务器目录", remoteDirectory);
        h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(port) + "|" + user + "|" + password);
        h.open();
        connectServer();
    }

    MainWindow& w() const { return h.controls(); }

    // Selects exactly these rows of a list, as clicks with Ctrl would.
    void select(const char* listName, const std::vector<std::string>& names) {
        auto* tree = h.form()->findChild<QTreeView*>(listName);
        tree->clearSelection();
        ui::ListControl& list = std::string(listName) == "远程文件框" ? w().远程文件框 : w().上传文件框;
        for (const std::string& n : names)
            list.selectItem(list.findItem(n));
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::string text = w().消息框.text(), line;
        for (char c : text) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty())
            lines.push_back(line);
        return lines;
    }

    bool logHas(const std::string& line) const {
        for (const auto& l : logLines())
            if (l == line)
                return true;
        return false;
    }

    TempFolder local;
    MainWindowHarness h;
};

} // namespace testsupport
