// The shell's own handlers: start-up restore, close, re-layout, toolbar
// dispatch, the automatic-connection toggle, help and about.
#include "app/MainWindowHandlers.h"

#include "app/WindowBindings.h"
#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/forms/ServerManagerForm.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/Settings.h"
#include "app/state/WorkerThreads.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/KeepAlive.h"
#include "ftp/handlers/RemoteListing.h"
#include "ftp/handlers/TransferPool.h"
#include "local/LocalBrowser.h"
#include "platform/SettingsLocation.h"
#include "platform/SystemPaths.h"
#include "transfer/Download.h"
#include "transfer/Upload.h"

#include <QWidget>

#include <string>
#include <vector>

namespace {

constexpr const char* kAutoConnectItem = "启动窗口自动连接(&Q)";
// Closing the window waits this long at most for the workers to end.
constexpr int kWorkerWaitOnCloseMs = 3000;
constexpr const char* kStartLine = "Corvane 已启动。选择 FTP管理 → FTP服务器管理 设定服务器后连接。";
constexpr const char* kAboutText =
    "Corvane FTP 文件管理器\n\n本地目录与远程目录并排显示，支持上传、下载、删除、重命名和创建目录。";

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

void restoreLocalHistory() {
    MainWindow& w = mainWindow();
    std::vector<std::string> parts = splitAt(readSetting("本地目录", platform::currentFolder()), ',');
    std::string first;
    bool haveFirst = false;
    for (const std::string& part : parts) {
        if (part.empty())
            continue;
        w.本地目录框.addItem(part);
        if (!haveFirst) {
            first = part;
            haveFirst = true;
        }
    }
    if (!parts.empty())
        w.本地目录框.setText(first);
}

} // namespace

void mainWindowCreated() {
    MainWindow& w = mainWindow();
    appState().settingsPath.set(platform::settingsFolder() + "/wangluo.ini");
    // Closing the window unblocks workers stuck in network calls this way:
    // on the current connection, older ones a batch still holds, a connect.
    setWorkerAbortHook(abortAllSessions);
    setRemoteFileOpener(openRemoteFileLater);
    startKeepAlive();
    w.上传文件框.setIconList(w.远程文件框.iconList());
    if (settingsFileExists()) {
        restoreLocalHistory();
        listLocalDirectory();
        w.FTP目录框.setText(readSetting("服务器目录"));
        w.menuItem(kTlsOnlyItem).setChecked(readSetting(kTlsOnlySetting) == "真");
        if (readSetting("自动连接") == "真") {
            w.menuItem(kAutoConnectItem).setChecked(true);
            startWorker(connectServer);
        }
    }
    appendLog(kStartLine);
}

void mainWindowClosing() {
    // Workers are asked to stop and their network calls are cut; one stuck
    // where nothing can wake it (a file system, a name lookup) is left
    // behind, and the connection is then closed without a goodbye. QUIT
    // waits at most 2 s, and only when nothing was running.
    stopKeepAlive();
    if (stopWorkersAndWait(kWorkerWaitOnCloseMs))
        closeFtpConnection();
    writeSetting("服务器目录", mainWindow().FTP目录框.text());
}

void relayoutMainWindow(int clientWidth, int clientHeight) {
    MainWindow& w = mainWindow();
    const double W = clientWidth;
    const double H = clientHeight;
    // Each value is computed in double precision and truncated toward zero;
    // later lines read what earlier lines assigned.
    auto set = [](auto setter, double value) { setter(static_cast<int>(value)); };
    set([&](int v) { w.上传文件框.setHeight(v); }, H - 181);
    set([&](int v) { w.远程文件框.setHeight(v); }, w.上传文件框.height());
    set([&](int v) { w.上传文件框.setWidth(v); }, W / 2 - 40);
    set([&](int v) { w.远程文件框.setWidth(v); }, w.上传文件框.width());
    set([&](int v) { w.远程文件框.setLeft(v); }, w.上传文件框.left() + w.上传文件框.width() + 80.0);
    set([&](int v) { w.本地目录框.setWidth(v); }, w.上传文件框.width() - 40.0);
    set([&](int v) { w.消息框.setWidth(v); }, W);
    set([&](int v) { w.消息框.setTop(v); }, w.上传文件框.top() + w.上传文件框.height() + 2.0);
    set([&](int v) { w.浏览钮.setLeft(v); }, w.本地目录框.left() + w.本地目录框.width() + 3.0);
    set([&](int v) { w.FTP目录框.setWidth(v); }, w.远程文件框.width() - 42.0);
    set([&](int v) { w.反退钮.setLeft(v); }, w.远程文件框.left());
    set([&](int v) { w.FTP目录框.setLeft(v); }, w.反退钮.left() + 40.0);
    set([&](int v) { w.上传钮.setLeft(v); }, w.远程文件框.left() - 73.0);
    set([&](int v) { w.下载钮.setLeft(v); }, w.上传钮.left());
    set([&](int v) { w.标签5.setLeft(v); }, w.远程文件框.left());
    set([&](int v) { w.进度条1.setTop(v); }, H - 26);
    set([&](int v) { w.进度条1.setWidth(v); }, W);
}

void toolbarButtonClicked(int index) {
    switch (index) {
    case 0:
        startWorker(connectServer);
        break;
    case 1:
        disconnectServer();
        break;
    case 3:
        uploadButton();
        break;
    case 4:
        downloadButton();
        break;
    default:
        break;
    }
}

void toggleAutoConnect() {
    ui::MenuItemControl& item = mainWindow().menuItem(kAutoConnectItem);
    // The action toggles its own check mark when chosen; the stored value
    // follows the mark as it now stands.
    if (item.checked())
        writeSetting("自动连接", "真");
    else
        writeSetting("自动连接", "假");
}

void toggleTlsOnly() {
    writeSetting(kTlsOnlySetting, mainWindow().menuItem(kTlsOnlyItem).checked() ? "真" : "假");
}

void chooseTransferCount() {
    const ui::InputResult answer = ui::inputBox("同时传输的文件数（1～10）：", std::to_string(transferConnectionsSetting()));
    if (!answer.ok)
        return;
    if (!storeTransferConnectionsSetting(transferCountOf(answer.text)))
        ui::messageBox("请输入1到10之间的数字");
}

void openServerManager() {
    if (ServerManagerForm* open = ServerManagerForm::instance()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* form = new ServerManagerForm(serverManagerEvents(), mainWindow().window.widget());
    form->show();
}

void showHelp() {
    ui::messageBox("上传文件，可直接点上传按钮。", ui::kMbOk, "使用说明");
}

void showAbout() {
    ui::messageBox(kAboutText, ui::kMbOk, "关于");
}
