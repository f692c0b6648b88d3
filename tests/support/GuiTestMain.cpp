// main() of the GUI tests: the windows need a QApplication, and a machine
// without a display (CI, test discovery at build time) needs the offscreen
// platform unless the caller chose another.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
