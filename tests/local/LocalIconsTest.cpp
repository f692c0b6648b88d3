#include "ftp/NameRules.h"
#include "local/LocalIconCache.h"
#include "tests/support/GuiHarness.h"
#include "tests/support/TestIcons.h"
#include "tests/support/WindowsFileBytes.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(LocalIcons, OnePicturePerExtensionAndOwnIconsForExecutables) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    const int fixed = list.iconCount();
    ASSERT_EQ(fixed, kFixedIconCount);
    TempFolder folder;
    for (const char* name : {"a.xyz", "b.xyz", "c.XYZ", "tool.exe", "copy.exe", "broken.exe", "broken.EXE"})
        folder.write(name, "");
    folder.write("tool.exe", peWithIcon(iconEntryData(redSquare())));
    folder.write("copy.exe", peWithIcon(iconEntryData(redSquare())));
    folder.write("broken.exe", "MZ garbage");
    // The desktop's icon for the type: looked up and added once.
    const int shell = localIconIndexFor(folder.file("a.xyz"));
    EXPECT_EQ(shell, fixed);
    EXPECT_EQ(localIconIndexFor(folder.file("b.xyz")), shell);
    EXPECT_EQ(localIconIndexFor(folder.file("c.XYZ")), shell);
    EXPECT_EQ(list.iconCount(), fixed + 1);
    const int before = list.iconCount();
    const int tool = localIconIndexFor(folder.file("tool.exe"));
    EXPECT_EQ(tool, before);
    EXPECT_EQ(list.iconCount(), before + 1);
    EXPECT_EQ(QColor(list.iconList().image(tool).pixel(16, 16)), QColor(200, 0, 0));
    EXPECT_EQ(localIconIndexFor(folder.file("copy.exe")), tool);  // the same picture is not added twice
    EXPECT_EQ(localIconIndexFor(folder.file("broken.exe")), kIconExe);
    EXPECT_EQ(localIconIndexFor(folder.file("broken.EXE")), kIconOtherFile);
    EXPECT_EQ(list.iconCount(), before + 1);
}
