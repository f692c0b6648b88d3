#include "app/state/Settings.h"

#include "app/settings/SettingsFile.h"
#include "app/state/AppState.h"
#include "platform/LocalFiles.h"

namespace {
constexpr const char* kSection = "shuji";
}

std::string readSetting(const std::string& key, const std::string& defaultValue) {
    return settings::readValue(appState().settingsPath.get(), kSection, key, defaultValue);
}

bool writeSetting(const std::string& key, const std::string& value) {
    return settings::writeValue(appState().settingsPath.get(), kSection, key, value);
}

bool settingsFileExists() {
    return platform::pathExists(appState().settingsPath.get());
}
