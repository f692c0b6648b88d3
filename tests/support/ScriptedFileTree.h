#pragma once
// A folder tree held in memory and served through a ScriptedFtpServer the
// way a Unix server serves its disk: CWD, PWD, MKD, STOR, SIZE, DELE, RMD,
// MLSD and LIST, paths absolute or relative to the current folder. With
// splitListArgument, LIST takes its argument as blank-separated paths (as
// some servers do, so "LIST a b" lists a and b); MLSD always takes it whole.
//
//   ScriptedFtpServer server;
//   ScriptedFileTree tree(server, true);
//   tree.addFile("/up/a b/c.txt", "c");
//   ASSERT_TRUE(server.start());
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedFtpServer;
class ScriptedSession;

class ScriptedFileTree {
public:
    ScriptedFileTree(ScriptedFtpServer& server, bool splitListArgument);

    // Folders on the way are made too.
    void addFolder(const std::string& path);
    void addFile(const std::string& path, const std::string& bytes);
    bool exists(const std::string& path) const;
    // Every path at or below the folder, in byte order.
    std::vector<std::string> pathsUnder(const std::string& folder) const;

private:
    using Entry = std::optional<std::string>;  // a file's bytes; none for a folder
    void install(ScriptedFtpServer& server);
    std::string resolve(const std::string& argument) const;
    bool isFolder(const std::string& path) const;
    std::vector<std::string> childrenOf(const std::string& folder) const;
    std::string mlsdOf(const std::string& folder) const;
    std::string listOf(const std::string& path) const;
    void store(ScriptedSession& s, const std::string& path);

    const bool splitListArgument_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;  // "/" is always a folder
    std::string current_ = "/";
};

} // namespace testsupport
