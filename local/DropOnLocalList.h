#pragma once
#include <string>
#include <vector>

// Files and folders dropped on the upload list from another program.
void dropOnLocalList(const std::vector<std::string>& paths);
