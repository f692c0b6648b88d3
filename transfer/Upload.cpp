// Uploading the selected local files and whole folder trees into the
// remote directory shown, creating remote folders before their files.
#include "transfer/Upload.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/FtpClientInstance.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "platform/TextCodec.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"


namespace {

constexpr const char* kUploadCaption = "上传";
constexpr const char* kStopCaption = "停止";
// A real folder, not a link to one.
bool isRealFolder(const std::string& path, const platform::LocalEntry& entry) {
    return (entry.attributes & platform::kAttrDirectory) && !platform::isSymlink(path);
}

// Everything in the folder that is not a real folder is listed as a file,
// links included whatever they lead to: putFile sends only regular files and
// the rest fail with their own log line. Only real folders are walked, so the
// walk never leaves the chosen folder. The chosen folder itself is followed
// when it is a link (the user picked it), the folders below it never are.
void listFilesInto(const std::string& folder, bool followLink, std::vector<std::string>& files) {
    if (workersStopping())
        return;
    const std::string prefix = localPrefix(folder);
    const std::vector<platform::LocalEntry> entries =
        followLink ? platform::listFolder(folder) : platform::listFolderUnlessLink(folder);
    std::vector<std::string> folders;
    for (const auto& e : entries) {
        const std::string path = prefix + e.name;
        if (isRealFolder(path, e))
            folders.push_back(path);
        else
            files.push_back(path);
    }
    for (const std::string& sub : folders)
        listFilesInto(sub, false, files);
}

// Creates the remote folder unless this batch made it already or it exists.
// Returns true when it was created now; createdName is then the name the
// server gave it.
bool makeRemoteFolder(const std::string& path, const std::string& createdFolders, std::string& createdName) {
    FtpClient& ftp = ftpClient();
    if (foldersListHolds(createdFolders, path) || ftp.setCurrentDirectory(path))
        return false;
    if (ftp.makeDirectory(path, createdName))
        return true;
    appendLog("创建目录“" + path + "”失败");
    return false;
}

bool makeRemoteFolder(const std::string& path, const std::string& createdFolders) {
    std::string createdName;
    return makeRemoteFolder(path, createdFolders, createdName);
}

void uploadFolder(const std::string& folder, const std::string& remotePrefixText, std::string& createdFolders) {
    MainWindow& w = mainWindow();
    const std::vector<std::string> files = listFilesRecursive(folder);
    const std::string name = lastPathPart(folder);
    std::string target = remotePrefixText + name;
    std::string createdName;
    if (makeRemoteFolder(target, createdFolders, createdName)) {
        // The files go where the folder now is, under the name it got.
        target = remotePrefixText + createdName;
        w.远程文件框.insertItem(-1, createdName, 0, kKindDirectory);
        w.远程文件框.setColumnWidth(0, -1);
    }
    target += "/";
    for (const std::string& file : files) {
        const std::string relative = file.substr(folder.size() + 1);
        for (size_t slash = relative.find('/'); slash != std::string::npos;
             slash = relative.find('/', slash + 1)) {
            const std::string sub = target + relative.substr(0, slash);
            if (makeRemoteFolder(sub, createdFolders))
                createdFolders += sub + ",";
        }
        uploadOne(file, target + relative, true);
        if (workersStopping())
            return;
    }
}

} // namespace

std::vector<std::string> listFilesRecursive(const std::string& folder) {
    std::vector<std::string> files;
    std::string start = folder;
    while (start.size() > 1 && start.back() == platform::kPathSeparator)
        start.pop_back();
    listFilesInto(start, true, files);
    return files;
}

void uploadOne(const std::string& localPath, const std::string& remotePath, bool insideFolder) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const int64_t size = platform::fileSize(localPath);
    const std::string name = lastPathPart(localPath);
    // One trip to the UI thread before and one after the transfer: in a
    // folder of small files the trips cost more than the transfers.
    ui::runOnUiThread([&] {
        w.状态条1.setPaneText(1, "正在上传：" + name + "    大小：" + sizeTextKb(size) + "Kb");
        startUploadWatch(size);
    });
    const bool sent = ftpClient().putFile(localPath, remotePath);
    ui::runOnUiThread([&] {
        stopProgressWatch();
        if (!sent) {
            ++app.uploadFailed;
            appendLog(name + "    上传失败");
            return;
        }
        const int count = ++app.entryCount;
        // A name in bytes that are not UTF-8 is shown escaped, as listings
        // show it.
        const std::string shown = platform::escapeInvalidUtf8(name);
        if (!insideFolder && w.远程文件框.findItem(shown) < 0) {
            const int row = w.远程文件框.insertItem(-1, shown, iconIndexFor(localPath, true, kKindFile), kKindFile);
            if (shown != name)
                w.远程文件框.setItemRawText(row, name);
            w.远程文件框.setColumnWidth(0, -1);
        }
        w.状态条1.setPaneText(2, "已上传文件：" + std::to_string(count) + "个");
        appendLog(name + "”    上传成功");
    });
}

namespace {

// The upload command once a connection is up: checks there is something
// to send, marks the upload running and starts the batch.
void startUpload() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (w.上传文件框.itemCount() == 0) {
        ui::messageBox("请添加欲上传的文件!");
        return;
    }
    w.状态条1.setPaneText(1, "文件上传中......");
    app.entryCount = 0;
    app.uploadFailed = 0;
    app.transferFlag = 1;
    w.上传钮.setCaption(kStopCaption);
    w.消息框.setText(std::string());
    w.状态条1.setPaneText(2, std::string());
    startWorker(uploadBatch);
}

} // namespace

void uploadButton() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (w.上传钮.caption() != kUploadCaption) {
        app.transferFlag = 0;
        app.remoteWatch.pollingFlag = 0;
        return;
    }
    // Connecting first is network work: it runs on a worker, which then
    // starts the upload.
    if (app.connected == 0) {
        startWorker([] {
            if (connectIfNeeded())
                startUpload();
        });
        return;
    }
    startUpload();
}

void uploadBatch() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const std::vector<int> rows = w.上传文件框.selectedItems();
    const std::string remote = remotePrefix(w.FTP目录框.text());
    const std::string local = localFolderPath();
    app.targetFolder.set(local);
    std::string createdFolders = ",";
    for (int index : rows) {
        const std::string path = localItemPath(index);
        if (isDirectoryName(path, false))
            uploadFolder(path, remote, createdFolders);
        else
            uploadOne(path, remote + lastPathPart(path), false);
        if (app.transferFlag == 0 || workersStopping())
            break;
    }
    if (app.entryCount > 0) {
        w.状态条1.setPaneText(1, "上传完毕!");
        w.状态条1.setPaneText(2, "上传数：" + std::to_string(app.entryCount) + "  失败数：" +
                                     std::to_string(app.uploadFailed));
    } else {
        w.状态条1.setPaneText(1, "上传失败");
        w.状态条1.setPaneText(2, std::string());
    }
    w.上传钮.setCaption(kUploadCaption);
}
