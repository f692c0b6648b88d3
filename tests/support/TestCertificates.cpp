#include "tests/support/TestCertificates.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace testsupport {

namespace {

// Runs openssl with the arguments; standard output goes to outputPath.
bool runOpenssl(const std::vector<std::string>& arguments, const std::string& outputPath = "/dev/null") {
    std::vector<std::string> all = {"/usr/bin/openssl"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string subjectAltName(const std::string& host) {
    bool address = host.find_first_not_of("0123456789.:") == std::string::npos;
    return std::string("subjectAltName=") + (address ? "IP:" : "DNS:") + host;
}

// P-256 keys: made in milliseconds, where RSA keys take a good part of a
// second.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

CertificateFiles TestCertificates::filesFor(const std::string& name) const {
    return {folder_.file(name + ".pem"), folder_.file(name + ".key"), folder_.file(name + "-both.pem")};
}

bool TestCertificates::combine(const CertificateFiles& files) const {
    std::string key = readFileBytes(files.key), certificate = readFileBytes(files.certificate);
    if (key.empty() || certificate.empty())
        return false;
    writeFileBytes(files.combined, key + certificate);
    return true;
}

CertificateFiles TestCertificates::selfSigned(const std::string& name, const std::string& host) {
    CertificateFiles files = filesFor(name);
    bool ok = runOpenssl(plus({"req", "-x509"}, plus(kNewKey, {"-days", "30", "-subj", "/CN=" + host, "-addext",
                                                               subjectAltName(host), "-keyout", files.key,
                                                               "-out", files.certificate})));
    return ok && combine(files) ? files : CertificateFiles{};
}

CertificateFiles TestCertificates::authority(const std::string& name) {
    CertificateFiles files = filesFor(name);
    bool ok = runOpenssl(plus({"req", "-x509"}, plus(kNewKey, {"-days", "30", "-subj", "/CN=Corvane Test CA/O=Tests",
                                                               "-keyout", files.key, "-out", files.certificate})));
    return ok && combine(files) ? files : CertificateFiles{};
}

CertificateFiles TestCertificates::signedBy(const CertificateFiles& authority, const std::string& name,
                                            const std::string& host) {
    CertificateFiles files = filesFor(name);
    bool ok = runOpenssl(plus({"req", "-x509", "-CA", authority.certificate, "-CAkey", authority.key},
                              plus(kNewKey, {"-days", "30", "-subj", "/CN=" + host, "-addext", subjectAltName(host),
                                             "-keyout", files.key, "-out", files.certificate})));
    return ok && combine(files) ? files : CertificateFiles{};
}

CertificateFiles TestCertificates::expired(const std::string& name, const std::string& host) {
    // "openssl req" cannot date a certificate in the past; "openssl ca"
    // signs the request with any start and end date.
    CertificateFiles files = filesFor(name);
    const std::string request = folder_.file(name + ".csr"), config = folder_.file(name + "-ca.cnf");
    folder_.write(name + "-index.txt", "");
    folder_.write(name + "-ca.cnf", "[ca]\ndefault_ca = d\n[d]\ndatabase = " + folder_.file(name + "-index.txt") +
                                        "\nnew_certs_dir = " + folder_.path() +
                                        "\nrand_serial = yes\npolicy = p\ndefault_md = sha256\n"
                                        "copy_extensions = copy\n[p]\ncommonName = supplied\n");
    bool ok = runOpenssl(plus({"req", "-new"}, plus(kNewKey, {"-subj", "/CN=" + host, "-addext", subjectAltName(host),
                                                              "-keyout", files.key, "-out", request}))) &&
              runOpenssl({"ca", "-batch", "-config", config, "-selfsign", "-keyfile", files.key, "-in", request,
                          "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-out",
                          files.certificate});
    return ok && combine(files) ? files : CertificateFiles{};
}

std::string TestCertificates::fingerprint(const std::string& certificateFile) {
    TempFolder scratch;
    if (!runOpenssl({"x509", "-noout", "-fingerprint", "-sha256", "-in", certificateFile}, scratch.file("out")))
        return {};
    std::string text = scratch.read("out");
    size_t equals = text.find('=');
    if (equals == std::string::npos)
        return {};
    text = text.substr(equals + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace testsupport
