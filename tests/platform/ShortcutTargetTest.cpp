#include "platform/ShortcutTarget.h"
#include "tests/support/WindowsFileBytes.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(ShortcutTarget, ShellLinkParsingSurvivesTruncationAndGarbage) {
    const std::string link = shellLink("C:\\a.txt");
    EXPECT_EQ(shellLinkTarget(link), "C:\\a.txt");
    for (std::size_t n = 0; n < link.size() - 1; ++n)
        EXPECT_EQ(shellLinkTarget(link.substr(0, n)), "") << n;
    std::string hostile = link;
    putU32(hostile, 0x4C + 16, 0xFFFFFFF0u);  // base path offset far outside
    EXPECT_EQ(shellLinkTarget(hostile), "");
    EXPECT_EQ(shellLinkTarget(std::string(300, '\xFF')), "");
}
