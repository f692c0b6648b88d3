#pragma once
// Path rules of the transfers.
#include <string>

// The text after the last "/" of the path; empty when there is none or the
// path ends in one.
std::string lastPathPart(const std::string& path);

// A local folder text with the separator appended unless it ends in one.
std::string localPrefix(const std::string& folder);

// A remote name that can safely become part of a local path: not empty,
// not "." or "..", no "/" or "\" and no control character. Names from a
// listing are never trusted beyond that.
bool isSafeLocalName(const std::string& name);

// True when the list text ",a,b," holds the path, compared without regard
// to case.
bool foldersListHolds(const std::string& list, const std::string& path);
