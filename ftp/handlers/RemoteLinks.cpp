#include "ftp/handlers/RemoteLinks.h"

#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/RemoteListing.h"

#include <mutex>
#include <unordered_map>

namespace {

std::mutex linksMutex;
// Remote path of a link -> what its target turned out to be.
std::unordered_map<std::string, EntryKind> linkTargets;

void rememberTarget(const std::string& path, EntryKind kind) {
    std::lock_guard<std::mutex> lock(linksMutex);
    linkTargets[path] = kind;
}

EntryKind knownTarget(const std::string& path) {
    std::lock_guard<std::mutex> lock(linksMutex);
    auto found = linkTargets.find(path);
    return found == linkTargets.end() ? kKindUnknown : found->second;
}

} // namespace

int remoteLinkIcon(const std::string& path, const RemoteEntry& entry) {
    EntryKind target = entry.isDirectory() ? kKindDirectory : knownTarget(path);
    if (target == kKindUnknown)
        target = looksLikeDirectoryName(entry.name) ? kKindDirectory : kKindFile;
    return iconIndexFor(entry.name, true, target);
}

void openRemoteLink(int row, const std::string& name, const std::string& path,
                    const std::function<void()>& openAsFile) {
    MainWindow& w = mainWindow();
    if (w.远程文件框.disabled())
        return;  // a listing is running
    // A dropped connection would make every link look like a file.
    const SessionHandle session = currentSession();
    if (!connectionReadyForCommand(*session))
        return;
    if (session->setCurrentDirectory(path)) {
        rememberTarget(path, kKindDirectory);
        w.FTP目录框.setText(path);
        w.远程文件框.setDisabled(true);
        startWorker(listRemoteDirectory);
        return;
    }
    rememberTarget(path, kKindFile);
    ui::runOnUiThread([&] {
        // The list may show other rows by now.
        if (row < w.远程文件框.itemCount() && w.远程文件框.itemText(row) == name)
            w.远程文件框.setItemImage(row, iconIndexFor(name, true, kKindFile));
    });
    openAsFile();
}

void forgetRemoteLinks() {
    std::lock_guard<std::mutex> lock(linksMutex);
    linkTargets.clear();
}
