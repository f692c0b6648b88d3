#pragma once
#include <string>

// Deletes the local folder with everything in it. An empty path (after
// leading blanks) and the root are refused. Entries whose names start with
// "." are left alone, so such a folder stays. A symbolic link is removed,
// never followed. The tree is listed whole first, within the bounds of
// WalkBounds; when the walk stops (a bound, or a folder that is one of its
// own ancestors under another path, as bind mounts show it) the log says
// why and nothing is deleted. Success means the folder itself is gone.
bool deleteLocalTree(const std::string& path);

// "删除(&S)" and "全部删除(&Q)" on the local list.
void deleteLocalSelected();
void deleteLocalAll();
