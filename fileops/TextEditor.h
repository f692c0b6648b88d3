#pragma once
#include <string>
#include <vector>

// The command that opens a file in a plain-text editor: the desktop's
// default application for text/plain (as xdg-mime reports it), else the
// first installed of a few common editors, else xdg-open. The file is one
// argument, so a path with blanks opens one file.
std::vector<std::string> textEditorCommand(const std::string& file);
