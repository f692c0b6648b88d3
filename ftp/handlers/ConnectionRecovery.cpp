#include "ftp/handlers/ConnectionRecovery.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WorkerThreads.h"
#include "ftp/handlers/CertificateTrust.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/KeepAlive.h"

#include <mutex>
#include <string>

namespace {

std::mutex waitsMutex;
std::vector<int> limitWaits = standardConnectionLimitWaits();

// "5", or "0.3" for waits of tests.
std::string secondsText(int ms) {
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000);
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

bool isCurrent(const RemoteSession& session) {
    return currentSession().get() == &session;
}

// The reconnect for a user's command; a failure is shown as a failed
// connect is.
bool reconnectForCommand(RemoteSession& session) {
    const auto atLimit = [&] { return session.lastFailure() == TransferFailure::TooManyConnections; };
    if (connectWaitingForRoom([&] { return session.reconnect(); }, atLimit, stoppedByDisconnect())) {
        showReconnected(session);
        return true;
    }
    showReconnectFailed(session);
    ui::messageBox("连接服务器失败!");
    return false;
}

} // namespace

std::vector<int> standardConnectionLimitWaits() {
    return {5000, 10000, 15000, 30000};
}

std::vector<int> connectionLimitWaits() {
    std::lock_guard<std::mutex> lock(waitsMutex);
    return limitWaits;
}

void setConnectionLimitWaits(const std::vector<int>& waits) {
    std::lock_guard<std::mutex> lock(waitsMutex);
    limitWaits = waits;
}

bool connectWaitingForRoom(const std::function<bool()>& attempt, const std::function<bool()>& atLimit,
                           const std::function<bool()>& stopped) {
    const std::vector<int> waits = connectionLimitWaits();
    bool ok = attempt();
    for (std::size_t i = 0; !ok && atLimit(); ++i) {
        if (i == waits.size()) {
            appendLog("服务器连接数已满，连接失败");
            break;
        }
        appendLog("服务器连接数已满，" + secondsText(waits[i]) + "秒后重新连接");
        if (!waitUnlessStopped(waits[i], stopped))
            break;
        ok = attempt();
    }
    return ok;
}

std::function<bool()> stoppedByDisconnect() {
    return [disconnects = appState().disconnects.load()] {
        return appState().disconnects.load() != disconnects || workersStopping();
    };
}

bool connectionReadyForCommand(RemoteSession& session) {
    noteUserCommand();
    if (appState().connected != 1 || session.connectionAlive() || !connectionIsUp())
        return true;
    return reconnectForCommand(session);
}

bool reconnectedAfterDrop(RemoteSession& session) {
    if (appState().connected != 1 || session.lastFailure() != TransferFailure::Transient || session.isConnected() ||
        !connectionIsUp())
        return false;
    return reconnectForCommand(session);
}

void showReconnectFailed(const RemoteSession& session) {
    if (!isCurrent(session))
        return;
    appState().connected = 0;
    mainWindow().状态条1.setPaneText(0, kConnectFailedText);
    const std::string why = securityFailureLine(session);
    if (!why.empty())
        appendLog(why);
}

void showReconnected(const RemoteSession& session) {
    if (!isCurrent(session))
        return;
    appState().connected = 1;
    mainWindow().状态条1.setPaneText(0, kConnectedText);
}
