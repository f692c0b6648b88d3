#pragma once
#include "ftp/EntryKind.h"

#include <string>

// Downloads one remote file of the directory shown into the target folder
// (the local folder when empty) and adds it to the local list. Logs the
// result; returns whether the file arrived.
bool downloadOne(const std::string& name, const std::string& sizeText, const std::string& targetFolder,
                 EntryKind kind = kKindUnknown);

// The batch started by the download command: the selected rows, in order.
void downloadBatch();
