#pragma once
class QWidget;

namespace forms {

// Moves the window to the centre of the screen it is on.
void centreOnScreen(QWidget* window);

} // namespace forms
