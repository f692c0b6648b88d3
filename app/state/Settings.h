#pragma once
// The program's settings: section "shuji" of the settings file beside the
// executable. Each value is read or written on its own; the file is never
// held open.
#include <string>

std::string readSetting(const std::string& key, const std::string& defaultValue = std::string());
// A value that cannot be saved is said in the log, once for each key.
bool writeSetting(const std::string& key, const std::string& value);
bool settingsFileExists();
// The folder of the settings file, where the program keeps its other files
// (remembered certificates and host keys, the records of partial
// downloads).
std::string keptFilesFolder();
std::string keptFilePath(const std::string& name);
