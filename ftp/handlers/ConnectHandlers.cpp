// Connecting to the server chosen in the settings, and disconnecting.
#include "ftp/handlers/ConnectHandlers.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/Settings.h"
#include "app/state/WorkerThreads.h"
#include "ftp/ConnectionSetting.h"
#include "ftp/handlers/CertificateTrust.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/FtpClientInstance.h"
#include "ftp/handlers/KeepAlive.h"
#include "ftp/handlers/RemoteLinks.h"
#include "ftp/handlers/RemoteListLock.h"
#include "ftp/handlers/RemoteListing.h"

bool connectionIsUp() {
    return mainWindow().状态条1.paneText(0) == kConnectedText;
}

void enterTypedDirectory() {
    MainWindow& w = mainWindow();
    FtpClient& ftp = ftpClient();
    const std::string typed = w.FTP目录框.text();
    if (typed.empty()) {
        w.FTP目录框.setText(ftp.currentDirectory());
        return;
    }
    // A connection that dropped just then is made again before the box
    // gives up the typed path for the server's.
    if (!ftp.setCurrentDirectory(typed) && !(reconnectedAfterDrop() && ftp.setCurrentDirectory(typed)))
        w.FTP目录框.setText(ftp.currentDirectory());
}

bool connectIfNeeded() {
    AppState& app = appState();
    if (app.connected != 0)
        return true;
    connectServer();
    if (!connectionIsUp()) {
        app.connected = 0;
        ui::messageBox("连接服务器失败!");
        return false;
    }
    app.connected = 1;
    return true;
}

void connectServer() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    FtpClient& ftp = ftpClient();
    if (app.connected == 1)
        ftp.disconnect();
    std::string stored = app.chosenServer.get();
    if (stored.empty())
        stored = readSetting("IP信息");
    if (stored.empty()) {
        ui::messageBox("请设定要连接的FTP服务器");
        return;
    }
    std::optional<ConnectionSetting> setting = parseConnectionSetting(stored);
    if (!setting)
        return;
    w.状态条1.setPaneText(0, kConnectingText);
    ftp.setTlsRequired(readSetting(kTlsOnlySetting) == "真");
    noteUserCommand();
    const auto connectOnce = [&] {
        return ftp.connect(setting->address, setting->user, setting->password, portFromText(setting->port));
    };
    if (!connectWaitingForRoom(connectOnce, stoppedByDisconnect())) {
        w.状态条1.setPaneText(0, kConnectFailedText);
        app.connected = 0;
        const std::string why = securityFailureLine();
        if (!why.empty())
            appendLog(why);
        return;
    }
    forgetRemoteLinks();
    w.状态条1.setPaneText(0, kConnectedText);
    appendLog(connectionSecurityLine());
    w.window.setTitle(std::string(kWindowTitle) + "——" + setting->name);
    enterTypedDirectory();
    app.connected = 1;
    listRemoteDirectory();
}

void disconnectServer() {
    // Whatever runs on the connection now (a connect, a listing, a
    // transfer) ends at once, and so does any wait to connect or to try a
    // file again; without a connection up nothing else happens.
    ++appState().disconnects;
    wakeWaitingWorkers();
    ftpClient().abortRunningOperation();
    if (!connectionIsUp())
        return;
    startWorker([] {
        MainWindow& w = mainWindow();
        ftpClient().disconnect();
        std::lock_guard<std::mutex> lock(remoteListMutex());
        w.状态条1.setPaneText(0, kDisconnectedText);
        w.window.setTitle(kWindowTitle);
        w.远程文件框.deleteAllItems();
    });
}

void closeFtpConnection() {
    ftpClient().disconnect();
}
