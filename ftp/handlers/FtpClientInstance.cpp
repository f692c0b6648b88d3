#include "ftp/handlers/FtpClientInstance.h"

FtpClient& ftpClient() {
    static FtpClient client;
    return client;
}
