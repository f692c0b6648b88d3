#include "fileops/TextEditor.h"

#include "platform/ProcessLauncher.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const char* const kCommonEditors[] = {"gedit", "gnome-text-editor", "kate", "kwrite", "mousepad",
                                      "pluma", "xed", "featherpad", "leafpad", "geany"};

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// What `xdg-mime query default text/plain` names, e.g. "org.gnome.gedit.desktop".
std::string defaultDesktopEntry() {
    if (platform::findOnPath("xdg-mime").empty())
        return std::string();
    FILE* pipe = ::popen("xdg-mime query default text/plain 2>/dev/null", "r");
    if (!pipe)
        return std::string();
    char buffer[512];
    std::string out;
    while (std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    ::pclose(pipe);
    std::string entry = trim(out.substr(0, out.find('\n')));
    // Only a plain desktop file name is looked up.
    if (entry.find('/') != std::string::npos || entry.size() < 9 ||
        entry.compare(entry.size() - 8, 8, ".desktop") != 0)
        return std::string();
    return entry;
}

std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    const char* home = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    if (home && *home)
        folders.push_back(home);
    else if (user && *user)
        folders.push_back(std::string(user) + "/.local/share");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream list(dirs && *dirs ? dirs : "/usr/local/share:/usr/share");
    std::string folder;
    while (std::getline(list, folder, ':'))
        if (!folder.empty())
            folders.push_back(folder);
    return folders;
}

// The program and fixed arguments of the desktop file's Exec line, without
// its field codes (%f, %U...).
std::vector<std::string> execOfDesktopEntry(const std::string& entry) {
    for (const std::string& folder : dataFolders()) {
        std::ifstream file(folder + "/applications/" + entry);
        if (!file)
            continue;
        std::string line;
        bool inEntry = false;
        while (std::getline(file, line)) {
            line = trim(line);
            if (!line.empty() && line[0] == '[')
                inEntry = line == "[Desktop Entry]";
            if (!inEntry || line.rfind("Exec=", 0) != 0)
                continue;
            std::vector<std::string> words;
            std::stringstream exec(line.substr(5));
            std::string word;
            while (exec >> word)
                if (word.size() != 2 || word[0] != '%')
                    words.push_back(word);
            if (!words.empty() && !platform::findOnPath(words[0]).empty())
                return words;
            return {};
        }
    }
    return {};
}

} // namespace

std::vector<std::string> textEditorCommand(const std::string& file) {
    std::vector<std::string> command;
    const std::string entry = defaultDesktopEntry();
    if (!entry.empty())
        command = execOfDesktopEntry(entry);
    if (command.empty()) {
        for (const char* editor : kCommonEditors) {
            if (!platform::findOnPath(editor).empty()) {
                command.push_back(editor);
                break;
            }
        }
    }
    if (command.empty())
        command.push_back("xdg-open");
    command.push_back(file);
    return command;
}
