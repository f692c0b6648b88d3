#include "local/ParentFolder.h"

#include <boost/regex.hpp>

std::string parentFolderText(const std::string& folder) {
    // Group 1: everything before the last "/" that has a character before
    // it; or, for a folder right under the root, the root itself.
    static const boost::regex parent(R"(\A(.+(?=/)|/(?=[^/]+\z)))", boost::regex::perl);
    boost::smatch match;
    if (!boost::regex_search(folder, match, parent))
        return {};
    return match[1].str();
}
