#pragma once
// The bounds of every recursive walk of folders, remote or local. A server,
// or a file system with bind mounts, may show folders that hold one another,
// so a tree can look endless and grow with every level: below a chosen
// folder a walk lists at most kMaxWalkFolders folders holding at most
// kMaxWalkEntries entries in all, goes at most kMaxWalkDepth levels down,
// and stops at a folder that repeats one of its ancestors.
#include <cstddef>
#include <string>

constexpr std::size_t kMaxWalkFolders = 10000;
constexpr std::size_t kMaxWalkEntries = 200000;
constexpr std::size_t kMaxWalkDepth = 256;

// Counts what one walk has listed.
class WalkCount {
public:
    // One more folder listed, depth levels below the chosen folder (which
    // is 0), holding so many entries. False once a bound is passed;
    // reason() then says which.
    bool addFolder(std::size_t depth, std::size_t entries);
    const std::string& reason() const { return reason_; }

private:
    std::size_t folders_ = 0;
    std::size_t entries_ = 0;
    std::string reason_;
};

// Why a walk stopped at a folder that repeats an ancestor.
std::string repeatedFolderReason(const std::string& folder, const std::string& ancestor);
