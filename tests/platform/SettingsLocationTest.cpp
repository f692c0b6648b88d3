#include "platform/LocalFiles.h"
#include "platform/SettingsLocation.h"
#include "platform/SystemPaths.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

using namespace platform;

namespace {

int modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

// An executable folder and a home folder inside one temporary folder.
struct Layout {
    testsupport::TempFolder tmp;
    SettingsEnvironment env;

    explicit Layout(bool writable) {
        tmp.makeFolder("bin");
        tmp.makeFolder("home");
        env.executableFolder = tmp.file("bin");
        env.executableFolderWritable = writable;
        env.home = tmp.file("home");
    }
};

} // namespace

TEST(SettingsLocation, WritableExecutableFolderIsUsedAndNothingElseIsCreated) {
    Layout l(true);
    l.env.xdgConfigHome = l.tmp.file("xdg");
    EXPECT_EQ(settingsFolder(l.env), l.tmp.file("bin"));
    EXPECT_FALSE(pathExists(l.tmp.file("xdg")));
    EXPECT_FALSE(pathExists(l.tmp.file("home/.config")));
}

TEST(SettingsLocation, FilesBesideAnUnwritableExecutableKeepItThere) {
    for (const char* name : {"wangluo.ini", "ipsjk.edb"}) {
        Layout l(false);
        l.tmp.write(std::string("bin/") + name, "x");
        l.env.xdgConfigHome = l.tmp.file("xdg");
        EXPECT_EQ(settingsFolder(l.env), l.tmp.file("bin")) << name;
        EXPECT_FALSE(pathExists(l.tmp.file("xdg"))) << name;
    }
    // The certificate list alone does not make a portable folder.
    Layout l(false);
    l.tmp.write("bin/zhengshu.txt", "x");
    EXPECT_EQ(settingsFolder(l.env), l.tmp.file("home/.config/corvane"));
}

TEST(SettingsLocation, UnwritableExecutableFolderUsesXdgConfigHomeCreatedPrivate) {
    Layout l(false);
    l.env.xdgConfigHome = l.tmp.file("cfg/deeper/");
    const std::string expected = l.tmp.file("cfg/deeper/corvane");
    EXPECT_EQ(settingsFolder(l.env), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
    EXPECT_EQ(modeOf(expected), 0700);
    EXPECT_EQ(modeOf(l.tmp.file("cfg")), 0700);
    EXPECT_FALSE(pathExists(l.tmp.file("home/.config")));
    // A second start finds it and leaves a folder the user opened up alone.
    ::chmod(expected.c_str(), 0750);
    EXPECT_EQ(settingsFolder(l.env), expected);
    EXPECT_EQ(modeOf(expected), 0750);
}

TEST(SettingsLocation, UnsetOrRelativeXdgConfigHomeFallsBackToHomeConfig) {
    for (const char* xdg : {"", "relative/config", "./cfg"}) {
        Layout l(false);
        l.env.xdgConfigHome = xdg;
        const std::string expected = l.tmp.file("home/.config/corvane");
        EXPECT_EQ(settingsFolder(l.env), expected) << xdg;
        EXPECT_EQ(modeOf(expected), 0700) << xdg;
        EXPECT_EQ(modeOf(l.tmp.file("home/.config")), 0700) << xdg;
    }
}

TEST(SettingsLocation, NoUsableConfigurationFolderStaysBesideTheExecutable) {
    Layout l(false);
    l.env.home = "";
    l.env.xdgConfigHome = "cfg";
    EXPECT_EQ(settingsFolder(l.env), l.tmp.file("bin"));
}

TEST(SettingsLocation, WritabilityOfTheExecutableFolder) {
    testsupport::TempFolder tmp;
    tmp.makeFolder("locked");
    EXPECT_TRUE(folderTakesSettings(tmp.path()));
    EXPECT_FALSE(folderTakesSettings(tmp.file("missing")));
    // Packages own /usr; root can write there but must not.
    EXPECT_FALSE(folderTakesSettings("/usr/bin"));
    EXPECT_FALSE(folderTakesSettings("/usr/local/bin"));
    if (::geteuid() != 0) {
        ::chmod(tmp.file("locked").c_str(), 0500);
        EXPECT_FALSE(folderTakesSettings(tmp.file("locked")));
        ::chmod(tmp.file("locked").c_str(), 0700);
    }
}

TEST(SettingsLocation, OverriddenExecutableFolderCountsAsBesideTheExecutable) {
    testsupport::TempFolder tmp;
    overrideExecutableFolder(tmp.path());
    EXPECT_EQ(settingsFolder(), tmp.path());
    overrideExecutableFolder(std::string());
    EXPECT_FALSE(executableFolderOverridden());
}
