#include "app/WindowBindings.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindowForm.h"
#include "app/forms/Pictures.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "platform/FreedMemory.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

namespace {

// The program's own start routine; nothing to do yet.
int programStart() {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName("org.corvane.Corvane");
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setWindowIcon(programIcon());
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(12);
    QApplication::setFont(font);
    ui::initUiThread();
    resetAppState();
    programStart();

    int rc;
    {
        MainWindowForm window(mainWindowEvents());
        window.show();
        rc = app.exec();
    }
    ui::shutDownUiThread();
    // A worker stuck where the close could not wake it must not hold the
    // process up: leave without running the exit handlers, which would
    // wait for the FTP client it is using.
    if (runningWorkers() > 0) {
        std::fflush(nullptr);
        std::_Exit(rc);
    }
    return rc;
}
