#include "app/state/Settings.h"

#include "app/settings/SettingsFile.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "platform/LocalFiles.h"

namespace {
constexpr const char* kSection = "shuji";
}

std::string readSetting(const std::string& key, const std::string& defaultValue) {
    return settings::readValue(appState().settingsPath.get(), kSection, key, defaultValue);
}

bool writeSetting(const std::string& key, const std::string& value) {
    AppState& app = appState();
    const std::string path = app.settingsPath.get();
    if (settings::writeValue(path, kSection, key, value))
        return true;
    // Said once for each setting: a read-only folder or a full disk would
    // otherwise repeat it at every change.
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(app.unsavedMutex);
        first = app.unsavedReported.insert(key).second;
    }
    if (first)
        appendLog("设置“" + key + "”无法保存到“" + path + "”");
    return false;
}

bool settingsFileExists() {
    return platform::pathExists(appState().settingsPath.get());
}

std::string keptFilesFolder() {
    const std::string settings = appState().settingsPath.get();
    const std::size_t slash = settings.rfind('/');
    return slash == std::string::npos ? std::string(".") : settings.substr(0, slash);
}

std::string keptFilePath(const std::string& name) {
    return keptFilesFolder() + "/" + name;
}
