#include "ftp/handlers/CreatedFolder.h"

#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/CurrentSession.h"

namespace {

bool isRealFolder(const RemoteEntry& entry) {
    return entry.isDirectory() && !entry.isLink();
}

// Whether the remote list, still showing the folder of the session's
// server, holds no row of the name (letter case ignored, so a doubt counts
// as held).
bool newToTheList(const RemoteSession& session, const std::string& folder, const std::string& name) {
    bool fresh = false;
    ui::runOnUiThread([&] {
        MainWindow& w = mainWindow();
        fresh = currentSession().get() == &session && w.FTP目录框.text() == folder && w.远程文件框.findItem(name) < 0;
    });
    return fresh;
}

} // namespace

CreatedFolder createdFolderName(RemoteSession& session, const RemoteName& parent, const std::string& asked,
                                const std::string& replied) {
    if (replied == asked)
        return {asked, true};
    const DirectoryListing listing = session.listEntries(RemoteName(listedDirectory(parent.path), parent.wire));
    bool repliedListed = false;
    bool askedListed = false;
    for (const RemoteEntry& entry : listing.entries) {
        repliedListed = repliedListed || (entry.name == replied && isRealFolder(entry));
        askedListed = askedListed || (entry.name == asked && isRealFolder(entry));
    }
    if (repliedListed && newToTheList(session, parent.path, replied))
        return {replied, true};
    return {asked, askedListed};
}
