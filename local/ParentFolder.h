#pragma once
#include <string>

// The folder one level up from the typed folder text, decided by one regular
// expression: /home/u/src gives /home/u, /home gives /, a trailing "/" gives
// the same folder without it. Empty when there is no level up ("/", "").
std::string parentFolderText(const std::string& folder);
