#pragma once
// Writing a new, empty database file.
#include <string>
#include <vector>

#include "serverbook/DbTypes.h"

namespace serverbook {

// Checks the fields and writes the file at the path (extension already
// applied); 0 or an error code.
int createDatabaseFile(const std::string& path, const std::vector<FieldDef>& fields);

} // namespace serverbook
