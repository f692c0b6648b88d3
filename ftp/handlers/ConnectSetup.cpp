#include "ftp/handlers/ConnectSetup.h"

#include "app/state/Settings.h"
#include "ftp/handlers/CertificateTrust.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/HostKeyTrust.h"

#include <mutex>

namespace {

std::mutex extraMutex;
std::function<void(FtpClient&)> extraFtp;
std::function<void(SftpClient&)> extraSftp;

void setUpFtp(FtpClient& client) {
    // SFTP is always protected: the setting concerns FTP alone.
    client.setTlsRequired(readSetting(kTlsOnlySetting) == "真");
    client.setCertificateCheck(trustServerCertificate);
    client.setClearLoginCheck(allowClearLogin);
    client.setVerifiedServerNote(rememberVerifiedServer);
    std::lock_guard<std::mutex> lock(extraMutex);
    if (extraFtp)
        extraFtp(client);
}

void setUpSftp(SftpClient& client) {
    client.setKnownHostsFile(knownHostsPath());
    client.setHostKeyCheck(trustServerHostKey);
    std::lock_guard<std::mutex> lock(extraMutex);
    if (extraSftp)
        extraSftp(client);
}

} // namespace

remote::SessionSetup windowSessionSetup(PendingConnect& pending) {
    remote::SessionSetup setup;
    setup.timeouts = sessionTimeouts();
    setup.common = [&pending](RemoteSession& session) {
        pending.track(session);
        // Downloads that break off keep their partial files, recorded
        // beside the settings, so that a retry continues them.
        session.setResumeFolder(keptFilesFolder());
    };
    setup.ftp = setUpFtp;
    setup.sftp = setUpSftp;
    return setup;
}

void setExtraSessionSetup(std::function<void(FtpClient&)> ftp, std::function<void(SftpClient&)> sftp) {
    std::lock_guard<std::mutex> lock(extraMutex);
    extraFtp = std::move(ftp);
    extraSftp = std::move(sftp);
}
