#pragma once
// Where the settings file, the server book and the trusted certificates
// live. All three always share one folder: beside the executable for
// portable use (a build folder, files copied from Windows), otherwise the
// user's configuration folder.
#include <string>

namespace platform {

// What the choice depends on. currentSettingsEnvironment() reads it from the
// running process; tests build their own.
struct SettingsEnvironment {
    std::string executableFolder;
    bool executableFolderWritable = false;
    std::string xdgConfigHome; // XDG_CONFIG_HOME, empty when unset
    std::string home;          // the user's home folder
};

SettingsEnvironment currentSettingsEnvironment();

// The executable's folder when it already holds wangluo.ini or ipsjk.edb or
// when it is writable; otherwise $XDG_CONFIG_HOME/corvane, or
// ~/.config/corvane when that variable is unset or not an absolute path.
// The configuration folder is created with mode 0700 when missing. Nothing
// is moved between the two.
std::string settingsFolder(const SettingsEnvironment& env);

// The folder for this process: an overridden executable folder as it is,
// otherwise the choice for the current environment, made once.
std::string settingsFolder();

// Whether the executable's folder can take new settings files: writable by
// this process and not part of the system's /usr tree (root could write
// there, but packages own it).
bool folderTakesSettings(const std::string& folder);

} // namespace platform
