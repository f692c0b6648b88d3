#pragma once
// Shell services the handlers use: opening documents, starting programs,
// context menus and the mouse position.
#include <string>

class QMenu;

namespace ui {

// Verbs: 1 edit, 2 explore, 3 find, 4 open, 5 print; others the default.
// Starts the associated program; the result is not checked by callers.
bool openDocument(int verb, const std::string& file, const std::string& parameters = std::string(),
                  const std::string& workingFolder = std::string(), int windowMode = 1);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};
ScreenPoint mousePosition();

// Shows the menu as a context menu at the screen position.
void popupMenu(QMenu* menu, int x, int y);

} // namespace ui
