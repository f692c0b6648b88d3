// Opening the selected local entry with its program or a text editor.
#include "fileops/OpenLocal.h"

#include "app/controls/Dialogs.h"
#include "app/controls/Shell.h"
#include "app/forms/MainWindow.h"
#include "fileops/TextEditor.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "platform/ProcessLauncher.h"
#include "transfer/TransferPaths.h"

#include <optional>
#include <string>

namespace {

constexpr int kOpenVerb = 4;

std::optional<std::string> selectedLocalPath() {
    MainWindow& w = mainWindow();
    const int row = w.上传文件框.currentSelection();
    if (row < 0) {
        ui::messageBox("请选择要打开的文件！");
        return std::nullopt;
    }
    return localItemPath(row);
}

} // namespace

void openLocalFile() {
    if (std::optional<std::string> path = selectedLocalPath())
        ui::openDocument(kOpenVerb, *path);
}

void openLocalWithNotepad() {
    std::optional<std::string> path = selectedLocalPath();
    if (!path)
        return;
    // A plain folder is not passed to the editor; a missing name (-1) still is.
    if ((platform::fileAttributes(*path) & 0x37) == platform::kAttrDirectory)
        return;
    platform::startDetached(textEditorCommand(*path));
}
