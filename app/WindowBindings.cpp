#include "app/WindowBindings.h"

#include "app/MainWindowHandlers.h"
#include "app/forms/MainWindow.h"
#include "app/state/WorkerThreads.h"
#include "fileops/LocalDelete.h"
#include "fileops/OpenLocal.h"
#include "fileops/RemoteDelete.h"
#include "fileops/RemoteEdits.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/RemoteListing.h"
#include "local/DropOnLocalList.h"
#include "local/LocalBrowser.h"
#include "serverbook/handlers/ServerManagerHandlers.h"
#include "transfer/Download.h"
#include "transfer/Progress.h"
#include "transfer/Upload.h"

MainWindowEvents mainWindowEvents() {
    MainWindowEvents e;
    e.created = mainWindowCreated;
    e.closing = mainWindowClosing;
    e.resized = relayoutMainWindow;
    e.toolbarButton = toolbarButtonClicked;
    e.menuItems = {
        {"连接(&L)", [] { startWorker(connectServer); }},
        {"断开(&D)", disconnectServer},
        {"启动窗口自动连接(&Q)", toggleAutoConnect},
        {kTlsOnlyItem, toggleTlsOnly},
        {kTransfersItem, chooseTransferCount},
        {"FTP服务器管理(&F)", openServerManager},
        {"上传(&C)", uploadButton},
        {"打开(&D)", openLocalFile},
        {"用记事本打开(&Y)", openLocalWithNotepad},
        {"删除(&S)", deleteLocalSelected},
        {"全部删除(&Q)", deleteLocalAll},
        {"选择目录(&X)", chooseLocalDirectory},
        {"刷新(&X)", listLocalDirectory},
        {"下载(&X)", downloadButton},
        {"全部下载(&Q)", downloadAllCommand},
        {"另存为(&L)", downloadCommand},
        {"创建目录(&C)", makeRemoteDirectory},
        {"删除文件或目录(&S)", deleteRemoteCommand},
        {"重命名(&M)", renameRemote},
        {"刷新(&A)", refreshRemote},
        {"使用帮助(&B)", showHelp},
        {"关于(&G)", showAbout},
    };
    e.progressTick = downloadProgressTick;
    e.remoteWatchTick = remoteWatchTick;
    e.downloadClicked = downloadButton;
    e.uploadClicked = uploadButton;
    e.browseClicked = chooseLocalDirectory;
    e.localUpClicked = goUpLocal;
    e.remoteUpClicked = goUpRemote;
    e.localHistoryChosen = localHistoryItemChosen;
    e.localPathEntered = localPathEntered;
    e.remotePathEntered = remotePathEntered;
    e.localItemDoubleClicked = openLocalItem;
    e.remoteItemDoubleClicked = remoteItemDoubleClicked;
    e.droppedOnLocalList = dropOnLocalList;
    return e;
}

ServerManagerEvents serverManagerEvents() {
    ServerManagerEvents e;
    e.created = serverManagerCreated;
    e.closing = serverManagerClosing;
    e.serverChosen = showSelectedServer;
    e.saveClicked = saveServer;
    e.deleteClicked = deleteServer;
    e.connectClicked = connectToShownServer;
    return e;
}
