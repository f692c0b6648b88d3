#pragma once
// Starting other programs without waiting for them.
#include <string>
#include <vector>

namespace platform {

// Starts the program (looked up on PATH when it has no "/") with the given
// arguments, detached: nobody waits for it and it never becomes a zombie.
// Returns false when the program could not be started.
bool startDetached(const std::vector<std::string>& argv);

// Full path of an executable found on PATH, empty when there is none.
std::string findOnPath(const std::string& program);

// Opens a document or folder with the program the desktop associates with it.
bool openWithAssociatedProgram(const std::string& path);

} // namespace platform
