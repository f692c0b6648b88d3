#pragma once
// Remote links whose target the listing does not tell (a LIST line
// "l... name -> target"): such a link may be a folder. A double-click
// tries to enter it and opens it as a file when the server refuses;
// what was learned is kept for the connection, so the link's icon then
// says what it is.
#include "ftp/RemoteEntry.h"

#include <functional>
#include <string>

// The icon of a link row: a folder when the listing or an earlier try
// showed one, the file's icon when a try showed a file, otherwise what the
// name suggests.
int remoteLinkIcon(const std::string& path, const RemoteEntry& entry);

// The double-click on the link row (name, path, taken when it came):
// enters the link as a folder when the server accepts it as one, else runs
// openAsFile, which downloads and opens it.
void openRemoteLink(int row, const std::string& name, const std::string& path,
                    const std::function<void()>& openAsFile);

// What was learned belongs to one server.
void forgetRemoteLinks();
