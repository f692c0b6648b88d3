// main() of the GUI tests: the windows need a QApplication, and a machine
// without a display (CI, test discovery at build time) needs the offscreen
// platform unless the caller chose another.
#include "ftp/handlers/TransferPool.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // Windows move one file at a time, as they did before there were
    // several transfer connections; the tests of those set their count.
    setTransferConnectionsDefault(1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
