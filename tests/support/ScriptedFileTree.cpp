#include "tests/support/ScriptedFileTree.h"

#include "tests/support/ScriptedFtpServer.h"

#include <sstream>

namespace testsupport {

namespace {

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// "/a/./b/../c/" as "/a/c".
std::string normalized(const std::string& path) {
    std::vector<std::string> parts;
    std::stringstream in(path);
    std::string part;
    while (std::getline(in, part, '/')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::vector<std::string> splitAtBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::stringstream in(text);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

} // namespace

ScriptedFileTree::ScriptedFileTree(ScriptedFtpServer& server, bool splitListArgument)
    : splitListArgument_(splitListArgument) {
    entries_["/"] = std::nullopt;
    server.setFeatures({"MLST type*;size*;modify*;", "UTF8"});
    install(server);
}

void ScriptedFileTree::addFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::string p = normalized(path); p != "/"; p = parentOf(p))
        entries_.emplace(p, std::nullopt);
}

void ScriptedFileTree::addFile(const std::string& path, const std::string& bytes) {
    const std::string file = normalized(path);
    addFolder(parentOf(file));
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[file] = bytes;
}

bool ScriptedFileTree::exists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count(normalized(path)) > 0;
}

std::vector<std::string> ScriptedFileTree::pathsUnder(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string top = normalized(folder);
    std::vector<std::string> paths;
    for (const auto& [path, entry] : entries_)
        if (path == top || path.rfind(top + "/", 0) == 0)
            paths.push_back(path);
    return paths;
}

std::string ScriptedFileTree::resolve(const std::string& argument) const {
    if (!argument.empty() && argument[0] == '/')
        return normalized(argument);
    return normalized(current_ + "/" + argument);
}

bool ScriptedFileTree::isFolder(const std::string& path) const {
    auto found = entries_.find(path);
    return found != entries_.end() && !found->second;
}

std::vector<std::string> ScriptedFileTree::childrenOf(const std::string& folder) const {
    std::vector<std::string> children;
    for (const auto& [path, entry] : entries_)
        if (path != "/" && parentOf(path) == folder)
            children.push_back(path);
    return children;
}

std::string ScriptedFileTree::mlsdOf(const std::string& folder) const {
    std::string text;
    for (const std::string& path : childrenOf(folder)) {
        const Entry& entry = entries_.at(path);
        text += entry ? "type=file;size=" + std::to_string(entry->size()) + ";modify=20240101000000; "
                      : std::string("type=dir;modify=20240101000000; ");
        text += nameOf(path) + "\r\n";
    }
    return text;
}

// "ls -l" of one path: a folder's entries, or the file's own line.
std::string ScriptedFileTree::listOf(const std::string& path) const {
    auto line = [this](const std::string& p) {
        const Entry& entry = entries_.at(p);
        return (entry ? "-rw-r--r-- 1 ftp ftp " + std::to_string(entry->size())
                      : std::string("drwxr-xr-x 2 ftp ftp 4096")) +
               " Jan 01  2024 " + nameOf(p) + "\r\n";
    };
    if (!entries_.count(path))
        return std::string();
    if (!isFolder(path))
        return line(path);
    std::string text;
    for (const std::string& child : childrenOf(path))
        text += line(child);
    return text;
}

void ScriptedFileTree::store(ScriptedSession& s, const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!isFolder(parentOf(path)) || isFolder(path)) {
            s.reply("553 cannot store there");
            return;
        }
    }
    s.reply("150 send it");
    if (!s.openData()) {
        s.reply("425 no data connection");
        return;
    }
    const std::string bytes = s.receiveData();
    s.closeData();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_[path] = bytes;
    }
    s.reply("226 stored");
}

void ScriptedFileTree::install(ScriptedFtpServer& server) {
    server.on("USER", [this](ScriptedSession& s, const std::string&) {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = "/";
        s.reply("331 password please");
    });
    server.on("PWD", [this](ScriptedSession& s, const std::string&) {
        std::lock_guard<std::mutex> lock(mutex_);
        s.reply("257 \"" + current_ + "\" is the current folder");
    });
    server.on("CWD", [this](ScriptedSession& s, const std::string& argument) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string path = resolve(argument);
        if (!isFolder(path)) {
            s.reply("550 no such folder");
            return;
        }
        current_ = path;
        s.reply("250 ok");
    });
    server.on("MKD", [this](ScriptedSession& s, const std::string& argument) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string path = resolve(argument);
        if (entries_.count(path) || !isFolder(parentOf(path))) {
            s.reply("550 cannot create");
            return;
        }
        entries_[path] = std::nullopt;
        s.reply("257 \"" + path + "\" created");
    });
    server.on("STOR", [this](ScriptedSession& s, const std::string& argument) {
        std::string path;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            path = resolve(argument);
        }
        store(s, path);
    });
    server.on("SIZE", [this](ScriptedSession& s, const std::string& argument) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = entries_.find(resolve(argument));
        if (found == entries_.end() || !found->second)
            s.reply("550 not a file");
        else
            s.reply("213 " + std::to_string(found->second->size()));
    });
    server.on("DELE", [this](ScriptedSession& s, const std::string& argument) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = entries_.find(resolve(argument));
        if (found == entries_.end() || !found->second) {
            s.reply("550 not a file");
            return;
        }
        entries_.erase(found);
        s.reply("250 deleted");
    });
    server.on("RMD", [this](ScriptedSession& s, const std::string& argument) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string path = resolve(argument);
        if (path == "/" || !isFolder(path) || !childrenOf(path).empty()) {
            s.reply("550 not an empty folder");
            return;
        }
        entries_.erase(path);
        s.reply("250 removed");
    });
    server.on("MLSD", [this](ScriptedSession& s, const std::string& argument) {
        std::string text;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const std::string path = resolve(argument);
            if (!isFolder(path)) {
                s.reply("550 no such folder");
                return;
            }
            text = mlsdOf(path);
        }
        s.serveData(text);
    });
    server.on("LIST", [this](ScriptedSession& s, const std::string& argument) {
        std::string text;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::vector<std::string> paths =
                splitListArgument_ ? splitAtBlanks(argument) : std::vector<std::string>{argument};
            if (paths.empty() || (paths.size() == 1 && paths[0].empty()))
                paths = {"."};
            for (const std::string& p : paths)
                text += listOf(resolve(p));
        }
        s.serveData(text);
    });
}

} // namespace testsupport
