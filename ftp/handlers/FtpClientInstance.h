#pragma once
#include "ftp/FtpClient.h"

// The one FTP client of the process: every remote operation goes through it.
FtpClient& ftpClient();
