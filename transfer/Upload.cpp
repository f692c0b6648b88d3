// Uploading the selected local files and whole folder trees into the
// remote directory shown, creating remote folders before their files.
#include "transfer/Upload.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WalkBounds.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CreatedFolder.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <memory>
#include "transfer/BatchConnections.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"

namespace {

constexpr const char* kUploadCaption = "上传";
constexpr const char* kStopCaption = "停止";
// A real folder, not a link to one.
bool isRealFolder(const std::string& path, const platform::LocalEntry& entry) {
    return (entry.attributes & platform::kAttrDirectory) && !platform::isSymlink(path);
}

struct Ancestor {
    platform::FileIdentity identity;
    std::string path;
};

// One walk of a chosen folder: what it found and what it knows of the
// folders above the one it lists.
struct LocalWalk {
    std::string chosen;
    LocalTree tree;
    WalkCount count;
    std::vector<Ancestor> ancestors;
    bool stopped = false;
};

// The ancestor the folder repeats (the same folder under another path, as
// a bind mount shows it), or null.
const Ancestor* repeatedAncestor(const LocalWalk& walk, const platform::FileIdentity& identity) {
    for (const Ancestor& ancestor : walk.ancestors)
        if (ancestor.identity == identity)
            return &ancestor;
    return nullptr;
}

// Everything in the folder that is not a real folder is listed as a file,
// links included whatever they lead to: putFile sends only regular files and
// the rest fail with their own log line. Only real folders are walked, so the
// walk never leaves the chosen folder. The chosen folder itself is followed
// when it is a link (the user picked it), the folders below it never are.
void listFilesInto(LocalWalk& walk, const std::string& folder, bool followLink) {
    if (walk.stopped || workersStopping())
        return;
    platform::FileIdentity identity;
    if (!platform::fileIdentity(folder, identity))
        return;  // gone: nothing to list
    if (const Ancestor* ancestor = repeatedAncestor(walk, identity)) {
        walk.tree.notes.push_back("上传目录“" + walk.chosen + "”时跳过" + repeatedFolderReason(folder, ancestor->path));
        return;
    }
    const std::string prefix = localPrefix(folder);
    const std::vector<platform::LocalEntry> entries =
        followLink ? platform::listFolder(folder) : platform::listFolderUnlessLink(folder);
    if (!walk.count.addFolder(walk.ancestors.size(), entries.size())) {
        walk.stopped = true;
        walk.tree.notes.push_back("上传目录“" + walk.chosen + "”只列出了部分文件：" + walk.count.reason());
        return;
    }
    std::vector<std::string> folders;
    for (const auto& e : entries) {
        const std::string path = prefix + e.name;
        if (isRealFolder(path, e))
            folders.push_back(path);
        else
            walk.tree.files.push_back(path);
    }
    walk.ancestors.push_back({identity, folder});
    for (const std::string& sub : folders)
        listFilesInto(walk, sub, false);
    walk.ancestors.pop_back();
}

// Creates the remote folder unless this batch made it already or it exists;
// a connection that drops meanwhile is made again and the folder tried
// again. Returns true when it was created now; replied is then the name
// the server's reply gave it.
bool makeRemoteFolder(const RemoteName& path, const std::string& createdFolders, BatchRetries& retries,
                      std::string& replied) {
    RemoteSession& session = retries.session();
    if (foldersListHolds(createdFolders, path.path))
        return false;
    const std::string subject = "创建目录“" + path.path + "”";
    bool created = false;
    const bool there = retries.run(subject, [&](int) {
        return session.setCurrentDirectory(path) || (created = session.makeDirectory(path, replied));
    });
    if (!there)
        appendLog(subject + "失败");
    return created;
}

bool makeRemoteFolder(const RemoteName& path, const std::string& createdFolders, BatchRetries& retries) {
    std::string replied;
    return makeRemoteFolder(path, createdFolders, retries, replied);
}

// A path below the folder, shown and in the server's bytes.
RemoteName remoteBelow(const RemoteSession& session, const RemoteName& folder, const std::string& relative) {
    return RemoteName(remotePrefix(folder.path) + relative, session.wirePathBelow(folder, relative));
}

// One chosen folder of the batch: its tree and where it goes.
struct FolderUpload {
    std::string folder;
    LocalTree tree;
    RemoteName target;
};

// Creates the chosen folder and every folder below it that holds a file,
// parents first, before any of its files is sent. Names go by the browsing
// session's rules; the folders are made on the batch's connection.
void makeFolderTree(FolderUpload& upload, const BatchSnapshot& snapshot, std::string& createdFolders,
                    BatchRetries& retries) {
    MainWindow& w = mainWindow();
    for (const std::string& note : upload.tree.notes)
        appendLog(note);
    const std::string name = lastPathPart(upload.folder);
    const RemoteSession& names = *snapshot.session;
    upload.target = remoteBelow(names, snapshot.remoteFolder, name);
    std::string replied;
    if (makeRemoteFolder(upload.target, createdFolders, retries, replied)) {
        // The files go where the folder now is, under the name it got, when
        // the server shows that folder as new.
        const std::string created = createdFolderName(retries.session(), snapshot.remoteFolder, name, replied).name;
        if (created != name)
            upload.target = remoteBelow(names, snapshot.remoteFolder, created);
        ui::runOnUiThread([&] {
            if (!remoteListShows(snapshot))
                return;
            w.远程文件框.insertItem(-1, created, 0, kKindDirectory);
            w.远程文件框.setColumnWidth(0, -1);
        });
    }
    for (const std::string& file : upload.tree.files) {
        const std::string relative = file.substr(upload.folder.size() + 1);
        for (size_t slash = relative.find('/'); slash != std::string::npos && !workersStopping();
             slash = relative.find('/', slash + 1)) {
            const RemoteName sub = remoteBelow(names, upload.target, relative.substr(0, slash));
            if (makeRemoteFolder(sub, createdFolders, retries))
                createdFolders += sub.path + ",";
        }
    }
}

// One step of an upload batch: a chosen folder's folders, or one file.
struct UploadStep {
    std::size_t row;           // the chosen row it belongs to
    std::size_t folder = 0;    // index into the batch's folders
    bool makesFolders = false;
    std::string localPath;     // a file
    bool insideFolder = false; // a file of the chosen folder
};

// What the batch does, in the chosen rows' order. When files run at once,
// every folder is made first, so that no file is sent before its folder.
struct UploadPlan {
    std::vector<FolderUpload> folders;
    std::vector<UploadStep> folderSteps;
    std::vector<UploadStep> fileSteps;
};

UploadPlan planUpload(const BatchSnapshot& snapshot, const std::string& local) {
    UploadPlan plan;
    for (std::size_t r = 0; r < snapshot.rows.size() && !workersStopping(); ++r) {
        const std::string path = local + snapshot.rows[r].rawName;
        if (!isDirectoryName(path, false)) {
            plan.fileSteps.push_back({r, 0, false, path});
            continue;
        }
        const std::size_t f = plan.folders.size();
        plan.folders.push_back({path, listLocalTree(path), RemoteName()});
        plan.folderSteps.push_back({r, f, true, std::string()});
        for (const std::string& file : plan.folders[f].tree.files)
            plan.fileSteps.push_back({r, f, false, file, true});
    }
    return plan;
}

// One connection at a time: the steps of each chosen row together, a
// folder's step before its files, as the rows come.
std::vector<std::vector<UploadStep>> stepsByRow(const UploadPlan& plan) {
    std::vector<std::vector<UploadStep>> rows;
    std::size_t nextFolder = 0;
    std::size_t lastRow = static_cast<std::size_t>(-1);
    const auto add = [&](const UploadStep& step) {
        if (rows.empty() || step.row != lastRow)
            rows.emplace_back();
        lastRow = step.row;
        rows.back().push_back(step);
    };
    for (const UploadStep& file : plan.fileSteps) {
        while (nextFolder < plan.folderSteps.size() && plan.folderSteps[nextFolder].row <= file.row)
            add(plan.folderSteps[nextFolder++]);
        add(file);
    }
    while (nextFolder < plan.folderSteps.size())
        add(plan.folderSteps[nextFolder++]);
    return rows;
}

// Chosen rows none of whose steps were taken (the first taken steps).
std::size_t rowsNotReached(const std::vector<UploadStep>& steps, std::size_t taken, std::size_t rows) {
    std::vector<bool> reached(rows, false);
    std::vector<bool> hasSteps(rows, false);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        hasSteps[steps[i].row] = true;
        if (i < taken)
            reached[steps[i].row] = true;
    }
    std::size_t notReached = 0;
    for (std::size_t r = 0; r < rows; ++r)
        if (hasSteps[r] && !reached[r])
            ++notReached;
    return notReached;
}

} // namespace

LocalTree listLocalTree(const std::string& folder) {
    LocalWalk walk;
    walk.chosen = folder;
    while (walk.chosen.size() > 1 && walk.chosen.back() == platform::kPathSeparator)
        walk.chosen.pop_back();
    listFilesInto(walk, walk.chosen, true);
    return std::move(walk.tree);
}

std::vector<std::string> listFilesRecursive(const std::string& folder) {
    return listLocalTree(folder).files;
}

void uploadOne(const std::string& localPath, const RemoteName& remote, bool insideFolder,
               const BatchSnapshot& snapshot, BatchRetries& retries, BatchProgress* progress) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const int64_t size = platform::fileSize(localPath);
    const std::string name = lastPathPart(localPath);
    // One trip to the UI thread before and one after the transfer: in a
    // folder of small files the trips cost more than the transfers.
    ui::runOnUiThread([&] {
        w.状态条1.setPaneText(1, "正在上传：" + name + "    大小：" + sizeTextKb(size) + "Kb");
        if (!progress)
            startUploadWatch(retries.sessionHandle(), size);
    });
    if (progress)
        progress->fileStarted(retries.sessionHandle());
    // A retry goes on from what the server kept, within what the failed
    // attempt sent: read at once, on this thread, before anything else
    // runs on the client.
    RemoteSession& session = retries.session();
    int64_t reached = 0;
    const bool sent = retries.run(name, [&](int) {
        const bool ok = session.putFile(localPath, remote, false, reached);
        if (!ok)
            reached = session.transferEnd();
        return ok;
    });
    if (progress)
        progress->fileEnded(retries.sessionHandle(), size);
    ui::runOnUiThread([&] {
        if (!progress)
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
        if (!insideFolder && remoteListShows(snapshot) && w.远程文件框.findItem(shown) < 0) {
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
// to send, marks the upload running and starts the batch. The remote
// folder is the one shown now, after any connect.
void startUpload(BatchSnapshot snapshot) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (w.上传文件框.itemCount() == 0) {
        ui::messageBox("请添加欲上传的文件!");
        return;
    }
    takeRemoteFolder(snapshot);
    w.状态条1.setPaneText(1, "文件上传中......");
    app.entryCount = 0;
    app.uploadFailed = 0;
    app.transferFlag = 1;
    wakeWaitingWorkers();  // a download's retry waiting now stops
    w.上传钮.setCaption(kStopCaption);
    w.消息框.setText(std::string());
    w.状态条1.setPaneText(2, std::string());
    startWorker([snapshot = std::move(snapshot)] { uploadBatch(snapshot); });
}

// A batch that left its loop early says how many chosen rows it never
// reached.
void logRowsNotDone(std::size_t notDone) {
    if (notDone > 0)
        appendLog("有" + std::to_string(notDone) + "项未上传（已停止）");
}

} // namespace

void uploadButton() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (w.上传钮.caption() != kUploadCaption) {
        app.transferFlag = 0;
        app.remoteWatch.pollingFlag = 0;
        wakeWaitingWorkers();  // a retry's wait ends at once
        return;
    }
    // The rows and the local folder as they are at the click.
    BatchSnapshot snapshot = selectedLocalSnapshot();
    // Connecting first is network work: it runs on a worker, which then
    // starts the upload.
    if (app.connected == 0) {
        startWorker([snapshot = std::move(snapshot)] {
            if (connectIfNeeded())
                startUpload(snapshot);
        });
        return;
    }
    startUpload(std::move(snapshot));
}

void uploadBatch(const BatchSnapshot& snapshot) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (!connectionReadyForCommand(*snapshot.session)) {
        w.状态条1.setPaneText(1, "上传失败");
        w.上传钮.setCaption(kUploadCaption);
        return;
    }
    const std::string local = localFolderPrefix(snapshot);
    app.targetFolder.set(local);
    BatchConnections connections(snapshot, [&app] { return app.transferFlag == 0; });
    UploadPlan plan = planUpload(snapshot, local);
    std::string createdFolders = ",";
    const auto runStep = [&](const UploadStep& step, BatchRetries& retries, BatchProgress* progress) {
        if (step.makesFolders) {
            makeFolderTree(plan.folders[step.folder], snapshot, createdFolders, retries);
            return;
        }
        const RemoteSession& names = *snapshot.session;
        if (step.insideFolder) {
            const FolderUpload& folder = plan.folders[step.folder];
            const std::string relative = step.localPath.substr(folder.folder.size() + 1);
            uploadOne(step.localPath, remoteBelow(names, folder.target, relative), true, snapshot, retries, progress);
        } else {
            uploadOne(step.localPath, remoteBelow(names, snapshot.remoteFolder, lastPathPart(step.localPath)), false,
                      snapshot, retries, progress);
        }
    };
    std::size_t notReached = 0;
    if (!connections.parallel()) {
        // One connection: a chosen row at a time, a folder whole; 停止 takes
        // effect before the next row.
        const std::vector<std::vector<UploadStep>> rows = stepsByRow(plan);
        const std::size_t taken = connections.run(rows.size(), [&](std::size_t i, BatchRetries& retries) {
            for (const UploadStep& step : rows[i]) {
                runStep(step, retries, nullptr);
                if (workersStopping())
                    return;
            }
        });
        notReached = rows.size() - taken;
    } else {
        for (const UploadStep& step : plan.folderSteps)
            connections.runOne([&](BatchRetries& retries) { runStep(step, retries, nullptr); });
        int64_t total = 0;
        for (const UploadStep& step : plan.fileSteps)
            total += std::max<int64_t>(0, platform::fileSize(step.localPath));
        auto progress = std::make_shared<BatchProgress>(total);
        startBatchWatch(progress);
        const std::size_t taken = connections.run(plan.fileSteps.size(), [&](std::size_t i, BatchRetries& retries) {
            runStep(plan.fileSteps[i], retries, progress.get());
        });
        stopBatchWatch();
        notReached = rowsNotReached(plan.fileSteps, taken, snapshot.rows.size());
    }
    const bool stopped = !workersStopping() && app.transferFlag == 0;
    if (app.entryCount > 0) {
        w.状态条1.setPaneText(1, "上传完毕!");
        w.状态条1.setPaneText(2, "上传数：" + std::to_string(app.entryCount) + "  失败数：" +
                                     std::to_string(app.uploadFailed));
    } else {
        w.状态条1.setPaneText(1, "上传失败");
        w.状态条1.setPaneText(2, std::string());
    }
    if (stopped)
        logRowsNotDone(notReached);
    w.上传钮.setCaption(kUploadCaption);
}
