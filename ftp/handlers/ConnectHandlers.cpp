// Connecting to the server chosen in the settings, and disconnecting.
#include "ftp/handlers/ConnectHandlers.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/Settings.h"
#include "app/state/WorkerThreads.h"
#include "ftp/AbortSignal.h"
#include "ftp/ConnectionSetting.h"
#include "ftp/handlers/CertificateTrust.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/ConnectSetup.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/KeepAlive.h"
#include "ftp/handlers/RemoteLinks.h"
#include "ftp/handlers/RemoteListLock.h"
#include "ftp/handlers/RemoteListing.h"

bool connectionIsUp() {
    return mainWindow().状态条1.paneText(0) == kConnectedText;
}

void enterTypedDirectory(RemoteSession& session) {
    MainWindow& w = mainWindow();
    const std::string typed = w.FTP目录框.text();
    if (typed.empty()) {
        w.FTP目录框.setText(session.currentDirectory());
        return;
    }
    // A connection that dropped just then is made again before the box
    // gives up the typed path for the server's.
    if (!session.setCurrentDirectory(typed) &&
        !(reconnectedAfterDrop(session) && session.setCurrentDirectory(typed)))
        w.FTP目录框.setText(session.currentDirectory());
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
    // The old connection goes; a batch still working on it keeps it until
    // it is done.
    if (app.connected == 1)
        dropCurrentSession();
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
    // A connect still running is ended, its wait for room included: the
    // last one decides.
    PendingConnect pending;
    wakeWaitingWorkers();
    w.状态条1.setPaneText(0, kConnectingText);
    noteUserCommand();
    // The protocol comes from the server: the engine it calls for is set
    // up and connected on the same connection. Each attempt makes a session
    // of its own.
    const remote::ServerLogin login{setting->address, portFromText(setting->port), setting->user, setting->password};
    const remote::SessionSetup setup = windowSessionSetup(pending);
    remote::OpenedSession opened;
    const auto connectOnce = [&] {
        pending.untrack();  // the earlier attempt's session goes now
        opened = remote::openSession(login, setup, {}, &pending.signal());
        return opened.connected;
    };
    const auto atLimit = [&] { return opened.failure == TransferFailure::TooManyConnections; };
    const auto stopped = [&pending, disconnected = stoppedByDisconnect()] {
        return disconnected() || pending.signal().raised();
    };
    const bool connected = connectWaitingForRoom(connectOnce, atLimit, stopped);
    const bool notAborted = pending.finish();
    const SessionHandle session(std::move(opened.session));
    if (!connected || !notAborted || !pending.makeCurrent(session)) {
        if (pending.superseded())
            return;
        w.状态条1.setPaneText(0, kConnectFailedText);
        app.connected = 0;
        const std::string why = session ? securityFailureLine(*session) : std::string();
        if (!why.empty())
            appendLog(why);
        return;
    }
    forgetRemoteLinks();
    w.状态条1.setPaneText(0, kConnectedText);
    appendLog(connectionSecurityLine(*session));
    w.window.setTitle(std::string(kWindowTitle) + "——" + setting->name);
    enterTypedDirectory(*session);
    app.connected = 1;
    listRemoteDirectory();
}

void disconnectServer() {
    // Whatever runs on the connection now (a connect, a listing, a
    // transfer) ends at once, and so does any wait to connect or to try a
    // file again; without a connection up nothing else happens.
    ++appState().disconnects;
    wakeWaitingWorkers();
    abortCurrentSession();
    if (!connectionIsUp())
        return;
    startWorker([] {
        MainWindow& w = mainWindow();
        currentSession()->disconnect();
        std::lock_guard<std::mutex> lock(remoteListMutex());
        w.状态条1.setPaneText(0, kDisconnectedText);
        w.window.setTitle(kWindowTitle);
        w.远程文件框.deleteAllItems();
    });
}

void closeFtpConnection() {
    currentSession()->disconnect();
}
