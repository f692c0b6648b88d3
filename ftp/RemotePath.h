#pragma once
// Remote path rules of the navigation: "/" is the separator.
#include <optional>
#include <string>

// The text with "/" appended unless it already ends in "/".
std::string remotePrefix(const std::string& path);

// The parent shown after going up, or nothing when going up does nothing:
// "/pub/incoming" and "/pub/incoming/" give "/pub", "/pub" gives "/", the
// root and a path without "/" give nothing.
std::optional<std::string> remoteParent(const std::string& path);

// The path of an entry of the directory shown: "/x" from the root, else
// path + "/" + name.
std::string remoteChild(const std::string& directory, const std::string& name);

// The directory a listing of the path asks for: the path without a
// trailing "/" (the root stays "/"; an empty path is the root).
std::string listedDirectory(const std::string& path);
