#include "app/controls/Shell.h"
#include "app/controls/UiThread.h"
#include "platform/ProcessLauncher.h"

#include <QCursor>
#include <QMenu>
#include <QPoint>

namespace ui {

bool openDocument(int /*verb*/, const std::string& file, const std::string& /*parameters*/,
                  const std::string& /*workingFolder*/, int /*windowMode*/) {
    // The desktop decides what "open" means for each type; there is one
    // association per file type, so every verb opens.
    return platform::openWithAssociatedProgram(file);
}

ScreenPoint mousePosition() {
    ScreenPoint p;
    runOnUiThread([&] {
        QPoint pos = QCursor::pos();
        p = {pos.x(), pos.y()};
    });
    return p;
}

void popupMenu(QMenu* menu, int x, int y) {
    runOnUiThread([&] {
        if (menu)
            menu->popup(QPoint(x, y));
    });
}

} // namespace ui
