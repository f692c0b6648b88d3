// Files and folders dropped on the upload list from other applications.
#include "local/DropOnLocalList.h"

#include "app/forms/MainWindow.h"
#include "local/LocalBrowser.h"
#include "local/LocalHistory.h"
#include "local/LocalList.h"
#include "local/LocalNames.h"
#include "platform/LocalFiles.h"

#include <string>
#include <vector>

namespace {

struct SplitPath {
    std::string folder;
    std::string name;
};

// The folder before the last "/" (the root for an item right under it) and
// the name after it.
SplitPath splitDroppedPath(const std::string& path) {
    auto slash = path.rfind(platform::kPathSeparator);
    if (slash == std::string::npos)
        return {"", path};
    return {slash == 0 ? std::string(1, platform::kPathSeparator) : path.substr(0, slash), path.substr(slash + 1)};
}

bool hasLineBreak(const std::string& text) {
    return text.find('\n') != std::string::npos || text.find('\r') != std::string::npos;
}

} // namespace

// One item: list its folder and select it. Several: list the folder of the
// first and select every dropped item found there.
void dropOnLocalList(const std::vector<std::string>& paths) {
    if (paths.empty() || hasLineBreak(paths.front()))
        return;
    const std::string folder = splitDroppedPath(paths.front()).folder;
    showLocalFolder(folder);
    listLocalDirectory();
    saveLocalHistory();
    ui::ListControl& list = mainWindow().上传文件框;
    bool selected = false;
    for (const std::string& path : paths) {
        SplitPath split = splitDroppedPath(path);
        if (split.folder != folder || split.name.empty())
            continue;
        int row = list.findItem(displayName(split.name));
        if (row >= 0) {
            list.selectItem(row);
            selected = true;
        }
    }
    if (selected)
        list.setFocus();
}
