#include "sftp/SshConnection.h"

#include "ftp/FailureRules.h"

#include <cstring>
#include <mutex>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sftp {

namespace {

// libssh bounds its own waits by this; ours (the watchdog) are shorter, so
// libssh never gives up on its own.
constexpr long kLibsshTimeoutSeconds = 24L * 3600;

void initialiseLibssh() {
    static std::once_flag once;
    std::call_once(once, [] { ssh_init(); });
}

std::string text(const char* value) {
    return value ? value : "";
}

// How libssh words a disconnect message it received.
constexpr const char* kDisconnectReceived = "SSH_MSG_DISCONNECT";

} // namespace

SshConnection::~SshConnection() {
    close();
}

bool SshConnection::handshake(int fd, const SessionSettings& settings) {
    close();
    initialiseLibssh();
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        socket_ = fd;
        socketDevice_ = info.st_dev;
        socketInode_ = info.st_ino;
    }
    session_ = ssh_new();
    if (!session_) {
        closeSocketIfLeftOpen();
        return false;
    }
    socket_t socket = fd;
    int port = settings.port;
    bool readConfigFiles = false;
    int verbosity = SSH_LOG_NOLOG;
    long timeout = kLibsshTimeoutSeconds;
    const std::string ownKnownHosts = settings.ownKnownHosts.empty() ? "/dev/null" : settings.ownKnownHosts;
    const std::string trustedKnownHosts =
        settings.trustedKnownHosts.empty() ? "/dev/null" : settings.trustedKnownHosts;
    // The socket first, so that libssh owns it even when a later option fails.
    bool ok = ssh_options_set(session_, SSH_OPTIONS_FD, &socket) == 0;
    ok = ssh_options_set(session_, SSH_OPTIONS_LOG_VERBOSITY, &verbosity) == 0 && ok;
    // The user's ssh_config could name another host, port or a proxy
    // command; the server book says where to connect.
    ok = ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &readConfigFiles) == 0 && ok;
    ok = ssh_options_set(session_, SSH_OPTIONS_HOST, settings.host.c_str()) == 0 && ok;
    ok = ssh_options_set(session_, SSH_OPTIONS_PORT, &port) == 0 && ok;
    ok = ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeout) == 0 && ok;
    ok = ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, ownKnownHosts.c_str()) == 0 && ok;
    ok = ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, trustedKnownHosts.c_str()) == 0 && ok;
    if (!settings.user.empty())
        ok = ssh_options_set(session_, SSH_OPTIONS_USER, settings.user.c_str()) == 0 && ok;
    if (!settings.sshDirectory.empty())
        ok = ssh_options_set(session_, SSH_OPTIONS_SSH_DIR, settings.sshDirectory.c_str()) == 0 && ok;
    return ok && ssh_connect(session_) == SSH_OK;
}

bool SshConnection::openSftp() {
    if (!session_)
        return false;
    sftp_ = sftp_new(session_);
    return sftp_ && sftp_init(sftp_) == 0;
}

void SshConnection::close() {
    if (sftp_) {
        sftp_free(sftp_);
        sftp_ = nullptr;
    }
    if (session_) {
        if (ssh_is_connected(session_))
            ssh_disconnect(session_);
        ssh_free(session_);
        session_ = nullptr;
    }
    closeSocketIfLeftOpen();
}

// The number may be another file's by now if libssh closed the socket;
// only the same socket is closed.
void SshConnection::closeSocketIfLeftOpen() {
    struct stat info {};
    if (socket_ >= 0 && ::fstat(socket_, &info) == 0 && info.st_dev == socketDevice_ &&
        info.st_ino == socketInode_)
        ::close(socket_);
    socket_ = -1;
}

bool SshConnection::alive() const {
    if (!session_ || !ssh_is_connected(session_))
        return false;
    if (!sftp_)
        return true;
    return sftp_->channel && ssh_channel_is_open(sftp_->channel) && !ssh_channel_is_eof(sftp_->channel);
}

void SshConnection::limitLibsshWaits(long seconds) {
    if (!session_)
        return;
    long timeout = seconds > 0 ? seconds : kLibsshTimeoutSeconds;
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeout);
}

bool SshConnection::quietWhileIdle() {
    if (!alive())
        return false;
    pollfd input{ssh_get_fd(session_), POLLIN, 0};
    if (::poll(&input, 1, 0) > 0)
        ssh_channel_poll(sftp_ ? sftp_->channel : nullptr, 0);
    return alive();
}

bool SshConnection::refusedForConnectionLimit() const {
    if (!session_)
        return false;
    if (!ssh_get_serverbanner(session_))
        return true;
    const std::string error = text(ssh_get_error(session_));
    return error.find(kDisconnectReceived) != std::string::npos && ftp::saysTooManyConnections(error);
}

bool SshConnection::serverEndedIt() const {
    return session_ && text(ssh_get_error(session_)).find(kDisconnectReceived) != std::string::npos;
}

std::string SshConnection::protection() const {
    if (!session_)
        return {};
    const std::string out = text(ssh_get_cipher_out(session_));
    const std::string in = text(ssh_get_cipher_in(session_));
    const std::string mac = text(ssh_get_hmac_out(session_));
    std::string result = "SSH " + out;
    if (in != out)
        result += "/" + in;
    // AEAD ciphers (GCM, ChaCha20-Poly1305) authenticate by themselves.
    if (!mac.empty() && mac.rfind("aead", 0) != 0 && mac != "none")
        result += " " + mac;
    const std::string kex = text(ssh_get_kex_algo(session_));
    if (!kex.empty())
        result += ", " + kex;
    return result;
}

} // namespace sftp
