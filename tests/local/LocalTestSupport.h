#pragma once
// Helpers for the local-side tests.
#include "app/forms/MainWindow.h"
#include "platform/LocalFiles.h"


#include <string>
#include <vector>

namespace localtest {

inline std::vector<std::string> rowNames(ui::ListControl& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.itemCount(); ++i)
        names.push_back(list.itemText(i));
    return names;
}

// Names of the folder's entries of one kind, in the order the search gives.
inline std::vector<std::string> searchOrder(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    for (const platform::LocalEntry& e : platform::listFolder(folder))
        if (((e.attributes & platform::kAttrDirectory) != 0) == folders && e.name[0] != '.')
            names.push_back(e.name);
    return names;
}

} // namespace localtest
