#include "ftp/FtpClientInstance.h"

FtpClient& ftpClient() {
    static FtpClient client;
    return client;
}
