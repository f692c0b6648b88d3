#pragma once
// The name a folder just made on the server goes by. A 257 reply may name
// the folder otherwise than asked (servers that replace characters they
// cannot store), but the reply is only the server's word: one that names an
// existing entry would have a row, and then a delete or an upload, act on
// that entry. So the reply's name is taken only when the server lists it as
// a folder that the remote list, still showing the parent, did not hold;
// otherwise the asked name.
#include "ftp/FtpTypes.h"
#include "ftp/RemoteSession.h"

#include <string>

struct CreatedFolder {
    std::string name;
    // The server lists a folder of that name; when false the asked name is
    // kept in doubt (the caller may refresh the list).
    bool listed = false;
};

// Worker thread, after MKD succeeded on the session in parent (its shown
// path and bytes). asked and replied are last names: the one asked for and
// the one the reply gave (the asked one when it gave none).
CreatedFolder createdFolderName(RemoteSession& session, const RemoteName& parent, const std::string& asked,
                                const std::string& replied);
