#include "sftp/KnownHosts.h"

#include "platform/FileDescriptors.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sftp {

namespace {

KnownHostStatus statusInFile(ssh_session session, const std::string& file) {
    // One file at a time: the "global" file is pointed at nothing, so
    // each answer is about this file alone.
    ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, file.c_str());
    ssh_options_set(session, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    switch (ssh_session_is_known_server(session)) {
    case SSH_KNOWN_HOSTS_OK:
        return KnownHostStatus::Known;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:  // only a key of another type is on record
        return KnownHostStatus::Changed;
    default:
        return KnownHostStatus::Unknown;
    }
}

// True when the file is empty or its last byte ends a line.
bool endsWithNewline(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size == 0)
        return true;
    char last = '\n';
    return ::pread(fd, &last, 1, info.st_size - 1) == 1 && last == '\n';
}

} // namespace

KnownHostStatus checkKnownHost(ssh_session session, const std::vector<std::string>& files) {
    KnownHostStatus result = KnownHostStatus::Unknown;
    for (const std::string& file : files) {
        if (file.empty())
            continue;
        const KnownHostStatus status = statusInFile(session, file);
        if (status == KnownHostStatus::Known)
            return status;
        if (status == KnownHostStatus::Changed)
            result = status;
    }
    return result;
}

bool rememberHost(ssh_session session, const std::string& file) {
    if (file.empty())
        return false;
    char* entry = nullptr;
    if (ssh_session_export_known_hosts_entry(session, &entry) != SSH_OK || !entry)
        return false;
    const std::string line = entry;
    ssh_string_free_char(entry);
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = (endsWithNewline(fd) || platform::writeAll(fd, "\n", 1)) && platform::writeAll(fd, line.data(), line.size());
    ok = ::close(fd) == 0 && ok;
    return ok;
}

bool describeServerKey(ssh_session session, HostKey& key) {
    ssh_key serverKey = nullptr;
    if (ssh_get_server_publickey(session, &serverKey) != SSH_OK || !serverKey)
        return false;
    unsigned char* hash = nullptr;
    size_t hashLength = 0;
    const bool hashed = ssh_get_publickey_hash(serverKey, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength) == 0;
    char* fingerprint = hashed ? ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength) : nullptr;
    const char* type = ssh_key_type_to_char(ssh_key_type(serverKey));
    key.keyType = type ? type : "";
    key.fingerprint = fingerprint ? fingerprint : "";
    ssh_string_free_char(fingerprint);
    ssh_clean_pubkey_hash(&hash);
    ssh_key_free(serverKey);
    return !key.fingerprint.empty();
}

std::string userKnownHostsFile() {
    // The home folder of the account, as OpenSSH takes it.
    std::vector<char> buffer(16384);
    passwd account{};
    passwd* found = nullptr;
    std::string home;
    if (::getpwuid_r(::geteuid(), &account, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        home = found->pw_dir;
    if (home.empty()) {
        const char* variable = std::getenv("HOME");
        home = variable ? variable : "";
    }
    return home.empty() ? std::string() : home + "/.ssh/known_hosts";
}

} // namespace sftp
