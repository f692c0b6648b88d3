#include "platform/SettingsLocation.h"

#include "platform/LocalFiles.h"
#include "platform/SystemPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {
namespace {

constexpr const char* kSettingsFileName = "wangluo.ini";
constexpr const char* kServerBookName = "ipsjk.edb";
constexpr const char* kFolderName = "corvane";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool isAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

std::string homeFromPasswordEntry() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return "";
    return found->pw_dir ? found->pw_dir : "";
}

bool holdsSettingsFiles(const std::string& folder) {
    return pathExists(folder + "/" + kSettingsFileName) || pathExists(folder + "/" + kServerBookName);
}

std::string withoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// The base of the user's configuration without a trailing slash ("" for the
// root folder), or nothing when neither the variable nor the home folder
// gives an absolute path.
std::optional<std::string> configurationBase(const SettingsEnvironment& env) {
    if (isAbsolute(env.xdgConfigHome))
        return withoutTrailingSlashes(env.xdgConfigHome);
    if (isAbsolute(env.home))
        return withoutTrailingSlashes(env.home) + "/.config";
    return std::nullopt;
}

// Creates every missing folder of the path with mode 0700, as the base
// directory rules ask; folders that exist keep their mode.
void makeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && part.back() != '/')
            ::mkdir(part.c_str(), 0700);
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

SettingsEnvironment currentSettingsEnvironment() {
    SettingsEnvironment env;
    env.executableFolder = executableFolder();
    env.executableFolderWritable = folderTakesSettings(env.executableFolder);
    env.xdgConfigHome = variable("XDG_CONFIG_HOME");
    env.home = variable("HOME");
    if (!isAbsolute(env.home))
        env.home = homeFromPasswordEntry();
    return env;
}

std::string settingsFolder(const SettingsEnvironment& env) {
    if (holdsSettingsFiles(env.executableFolder) || env.executableFolderWritable)
        return env.executableFolder;
    const std::optional<std::string> base = configurationBase(env);
    if (!base)
        return env.executableFolder;
    const std::string folder = *base + "/" + kFolderName;
    makeFolders(folder);
    return folder;
}

std::string settingsFolder() {
    if (executableFolderOverridden())
        return executableFolder();
    static const std::string chosen = settingsFolder(currentSettingsEnvironment());
    return chosen;
}

bool folderTakesSettings(const std::string& folder) {
    if (folder == "/usr" || folder.starts_with("/usr/"))
        return false;
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

} // namespace platform
