#include "tests/support/ScriptedFtpServer.h"

#include "ftp/SocketBio.h"
#include "tests/support/FtpServers.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// A handler that never answers must not hold a test forever.
constexpr int kDataWaitMs = 5000;

// Listens on 127.0.0.1:port (0: a port the system chooses, stored in port).
int listenLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopback(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return fd >= 0;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool writeTls(SSL* ssl, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        int n = SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0) {
            ERR_clear_error();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Server side of a TLS handshake on a blocking socket; a client that stops
// answering fails it after kDataWaitMs.
SSL* acceptTls(SSL_CTX* context, int fd) {
    timeval limit{kDataWaitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(context);
    BIO* channel = ftp::newSocketBio(fd);
    SSL_set_bio(ssl, channel, channel);
    if (SSL_accept(ssl) == 1)
        return ssl;
    ERR_clear_error();
    SSL_free(ssl);
    return nullptr;
}

void endTls(SSL*& ssl) {
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ERR_clear_error();
    }
    ssl = nullptr;
}

std::string upperVerb(const std::string& line, std::string& argument) {
    std::size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    for (char& c : verb)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
}

// A command line as a Telnet reader sees it.
std::string telnetText(const std::string& line) {
    constexpr unsigned char kIac = 0xFF;
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (static_cast<unsigned char>(line[i]) != kIac) {
            text += line[i];
            continue;
        }
        if (i + 1 >= line.size())
            break;
        const auto command = static_cast<unsigned char>(line[++i]);
        if (command == kIac)
            text += line[i];
        else if (command >= 251 && command <= 254)
            ++i;  // WILL, WONT, DO, DONT carry an option byte
    }
    return text;
}

} // namespace

// ---- session

bool ScriptedSession::writeControl(const std::string& bytes) {
    return ssl_ ? writeTls(ssl_, bytes) : writeAll(control_, bytes);
}

bool ScriptedSession::writeData(const std::string& bytes) {
    return dataSsl_ ? writeTls(dataSsl_, bytes) : writeAll(data_, bytes);
}

bool ScriptedSession::send(const std::string& bytes) { return writeControl(bytes); }

bool ScriptedSession::startTls() {
    if (!server_->tls_ || control_ < 0)
        return false;
    ssl_ = acceptTls(server_->tls_, control_);
    // The control connection waits for commands as long as the client likes.
    timeval none{0, 0};
    ::setsockopt(control_, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    if (ssl_ && SSL_session_reused(ssl_))
        ++server_->resumedSessions_;
    return ssl_ != nullptr;
}

long long ScriptedSession::takeRestart() {
    const long long offset = restart_;
    restart_ = 0;
    return offset;
}

long ScriptedSession::receive(char* buffer, std::size_t size) {
    if (ssl_) {
        int n = SSL_read(ssl_, buffer, static_cast<int>(size));
        ERR_clear_error();
        return n > 0 ? n : 0;
    }
    return static_cast<long>(::recv(control_, buffer, size, 0));
}

bool ScriptedSession::reply(const std::string& line) { return send(line + "\r\n"); }

void ScriptedSession::sendByteByByte(const std::string& bytes) {
    int one = 1;
    ::setsockopt(control_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (char c : bytes) {
        writeControl(std::string(1, c));
        ::usleep(200);
    }
}

bool ScriptedSession::openData() {
    closeData();
    if (passiveListener_ >= 0) {
        pollfd p{passiveListener_, POLLIN, 0};
        if (::poll(&p, 1, kDataWaitMs) == 1)
            data_ = ::accept(passiveListener_, nullptr, nullptr);
        closeFd(passiveListener_);
    } else if (activePort_ != 0) {
        data_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(activePort_);
        if (::connect(data_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            closeFd(data_);
    }
    if (data_ >= 0 && protectData_ && server_->tls_) {
        dataSsl_ = acceptTls(server_->tls_, data_);
        if (!dataSsl_)
            closeFd(data_);
    }
    return data_ >= 0;
}

bool ScriptedSession::sendData(const std::string& bytes) { return writeData(bytes); }

bool ScriptedSession::intrudeOnActivePort(const std::string& fromHost, const std::string& bytes) {
    if (activePort_ == 0)
        return false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ::inet_pton(AF_INET, fromHost.c_str(), &source.sin_addr);
    sockaddr_in address = loopback(activePort_);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0 &&
              ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (ok)
        writeAll(fd, bytes);
    ::close(fd);
    return ok;
}

std::string ScriptedSession::receiveData(std::size_t atMost) {
    std::string bytes;
    char buffer[65536];
    while (dataSsl_ && bytes.size() < atMost) {
        int n = SSL_read(dataSsl_, buffer, static_cast<int>(std::min(sizeof buffer, atMost - bytes.size())));
        if (n <= 0) {
            ERR_clear_error();
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    while (!dataSsl_ && bytes.size() < atMost) {
        pollfd p{data_, POLLIN, 0};
        if (data_ < 0 || ::poll(&p, 1, kDataWaitMs) != 1)
            break;
        ssize_t n = ::recv(data_, buffer, std::min(sizeof buffer, atMost - bytes.size()), 0);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

void ScriptedSession::closeData() {
    endTls(dataSsl_);
    closeFd(data_);
}

void ScriptedSession::cutData() {
    SSL_free(dataSsl_);
    dataSsl_ = nullptr;
    ERR_clear_error();
    closeFd(data_);
}

void ScriptedSession::waitForClientClose(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[256];
    while (std::chrono::steady_clock::now() < deadline && !server_->stopping_) {
        pollfd p{control_, POLLIN, 0};
        if (::poll(&p, 1, 20) == 1 && ::recv(control_, buffer, sizeof buffer, MSG_DONTWAIT) == 0)
            break;
    }
    close();
}

void ScriptedSession::close() {
    closeData();
    closeFd(passiveListener_);
    if (control_ >= 0)
        ::shutdown(control_, SHUT_RDWR);
    closed_ = true;
}

// ---- server

ScriptedFtpServer::ScriptedFtpServer() { installDefaults(); }

ScriptedFtpServer::~ScriptedFtpServer() {
    stop();
    SSL_CTX_free(tls_);
}

bool ScriptedFtpServer::enableTls(const std::string& certificateFile, const std::string& keyFile) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context);
        return false;
    }
    SSL_CTX_free(tls_);
    tls_ = context;
    return true;
}

void ScriptedFtpServer::disableTls() {
    SSL_CTX_free(tls_);
    tls_ = nullptr;
}

void ScriptedFtpServer::on(const std::string& verb, ScriptedHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[verb] = std::move(handler);
}

void ScriptedFtpServer::setGreeting(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = bytes;
}

void ScriptedFtpServer::setFeatures(const std::vector<std::string>& features) {
    std::lock_guard<std::mutex> lock(mutex_);
    features_ = features;
}

void ScriptedFtpServer::setListing(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    listing_ = bytes;
}

void ScriptedFtpServer::setFile(const std::string& name, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[name] = bytes;
}

void ScriptedFtpServer::setFileTime(const std::string& name, const std::string& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    fileTimes_[name] = time;
}

long long ScriptedFtpServer::sizeOf(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto file = files_.find(name);
    if (file != files_.end())
        return static_cast<long long>(file->second.size());
    auto stored = uploads_.find(name);
    return stored == uploads_.end() ? -1 : static_cast<long long>(stored->second.size());
}

void ScriptedFtpServer::setUpload(const std::string& name, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    uploads_[name] = bytes;
}

std::vector<std::string> ScriptedFtpServer::controlBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return controlBytes_;
}

std::vector<std::string> ScriptedFtpServer::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

bool ScriptedFtpServer::received(const std::string& verb) const {
    for (const std::string& line : commands()) {
        std::string argument;
        if (upperVerb(line, argument) == verb)
            return true;
    }
    return false;
}

std::string ScriptedFtpServer::upload(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = uploads_.find(name);
    return found == uploads_.end() ? std::string() : found->second;
}

void ScriptedFtpServer::installDefaults() {
    auto simple = [](const std::string& line) {
        return [line](ScriptedSession& s, const std::string&) { s.reply(line); };
    };
    handlers_["USER"] = simple("331 password please");
    handlers_["PASS"] = simple("230 logged in");
    handlers_["TYPE"] = simple("200 type set");
    handlers_["OPTS"] = simple("200 ok");
    handlers_["PWD"] = simple("257 \"/\" is current");
    handlers_["CWD"] = simple("250 ok");
    handlers_["MKD"] = simple("257 created");
    handlers_["RMD"] = simple("250 removed");
    handlers_["DELE"] = simple("250 deleted");
    handlers_["RNFR"] = simple("350 go on");
    handlers_["RNTO"] = simple("250 renamed");
    handlers_["AUTH"] = [this](ScriptedSession& s, const std::string& argument) {
        if (!tls_ || argument != "TLS") {
            s.reply("504 not available");
            return;
        }
        s.reply("234 AUTH TLS ok");
        if (!s.startTls())
            s.close();
    };
    handlers_["PBSZ"] = simple("200 PBSZ=0");
    handlers_["PROT"] = [](ScriptedSession& s, const std::string& argument) {
        s.protectData(argument == "P");
        s.reply("200 PROT " + argument + " ok");
    };
    handlers_["QUIT"] = [](ScriptedSession& s, const std::string&) {
        s.reply("221 bye");
        s.close();
    };
    handlers_["FEAT"] = [this](ScriptedSession& s, const std::string&) {
        std::string text = "211-Features:\r\n";
        for (const std::string& f : features_)
            text += " " + f + "\r\n";
        s.send(text + "211 End\r\n");
    };
    handlers_["PORT"] = [](ScriptedSession& s, const std::string& argument) {
        int h1, h2, h3, h4, p1, p2;
        if (std::sscanf(argument.c_str(), "%d,%d,%d,%d,%d,%d", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
            s.reply("501 bad PORT");
            return;
        }
        s.activePort_ = p1 * 256 + p2;
        closeFd(s.passiveListener_);
        s.reply("200 PORT ok");
    };
    handlers_["EPSV"] = [](ScriptedSession& s, const std::string&) {
        int port = 0;
        closeFd(s.passiveListener_);
        s.passiveListener_ = listenLoopback(port);
        s.reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
    };
    handlers_["PASV"] = [](ScriptedSession& s, const std::string&) {
        int port = 0;
        closeFd(s.passiveListener_);
        s.passiveListener_ = listenLoopback(port);
        s.reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                std::to_string(port % 256) + ")");
    };
    auto sendListing = [this](ScriptedSession& s, const std::string&) { s.serveData(listing_); };
    handlers_["LIST"] = sendListing;
    handlers_["MLSD"] = sendListing;
    handlers_["REST"] = [](ScriptedSession& s, const std::string& argument) {
        s.restart_ = std::atoll(argument.c_str());
        s.reply("350 Restarting at " + std::to_string(s.restart_));
    };
    handlers_["SIZE"] = [this](ScriptedSession& s, const std::string& name) {
        const long long size = sizeOf(name);
        s.reply(size < 0 ? "550 no such file" : "213 " + std::to_string(size));
    };
    handlers_["MDTM"] = [this](ScriptedSession& s, const std::string& name) {
        std::string time;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = fileTimes_.find(name);
            time = found == fileTimes_.end() ? std::string() : found->second;
        }
        s.reply(time.empty() ? "550 no time" : "213 " + time);
    };
    handlers_["RETR"] = [this](ScriptedSession& s, const std::string& name) { serveFile(s, name); };
    handlers_["STOR"] = [this](ScriptedSession& s, const std::string& name) { storeFile(s, name, false); };
    handlers_["APPE"] = [this](ScriptedSession& s, const std::string& name) { storeFile(s, name, true); };
}

std::string ScriptedFtpServer::file(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = files_.find(name);
    return found == files_.end() ? std::string() : found->second;
}

void ScriptedFtpServer::serveFile(ScriptedSession& s, const std::string& name) {
    const long long offset = s.takeRestart();
    std::string bytes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = files_.find(name);
        if (found == files_.end()) {
            s.reply("550 no such file");
            return;
        }
        bytes = found->second;
    }
    if (offset > static_cast<long long>(bytes.size())) {
        s.reply("554 restart beyond the end");
        return;
    }
    s.reply("150 opening");
    if (!s.openData()) {
        s.reply("425 no data connection");
        return;
    }
    s.sendData(bytes.substr(static_cast<std::size_t>(offset)));
    s.closeData();
    s.reply("226 done");
}

// STOR writes from the restart offset on without cutting what follows (as
// servers open the file for update); APPE adds to the end.
void ScriptedFtpServer::storeFile(ScriptedSession& s, const std::string& name, bool append) {
    const std::size_t offset = append ? 0 : static_cast<std::size_t>(s.takeRestart());
    if (offset > 0 && static_cast<long long>(offset) > sizeOf(name)) {
        s.reply("554 restart beyond the end");
        return;
    }
    s.reply("150 send it");
    if (!s.openData()) {
        s.reply("425 no data connection");
        return;
    }
    std::string bytes = s.receiveData();
    s.closeData();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string& stored = uploads_[name];
        if (append)
            stored += bytes;
        else if (offset == 0)
            stored = bytes;
        else
            stored = stored.substr(0, offset) + bytes +
                     (stored.size() > offset + bytes.size() ? stored.substr(offset + bytes.size()) : "");
    }
    s.reply("226 stored");
}

void ScriptedSession::serveData(const std::string& bytes) {
    reply("150 here it comes");
    if (!openData()) {
        reply("425 no data connection");
        return;
    }
    sendData(bytes);
    closeData();
    reply("226 done");
}

bool ScriptedFtpServer::start(int port) {
    port_ = port;
    listener_ = listenLoopback(port_);
    if (listener_ < 0)
        return false;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ScriptedFtpServer::stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    int client = client_.load();
    if (client >= 0)
        ::shutdown(client, SHUT_RDWR);
    thread_.join();
    closeFd(listener_);
}

void ScriptedFtpServer::run() {
    while (!stopping_) {
        int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0)
            break;
        client_ = fd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            controlBytes_.emplace_back();
        }
        ++connections_;
        serve(fd);
        client_ = -1;
        ::close(fd);
        ++finished_;
    }
}

void ScriptedFtpServer::serve(int fd) {
    ScriptedSession session;
    session.server_ = this;
    session.control_ = fd;
    std::string greeting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_;
    }
    if (implicitTls_ && !session.startTls())
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(greetingDelayMs_.load()));
    session.send(greeting);
    std::string pending;
    char buffer[4096];
    while (!session.closed() && !stopping_) {
        std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            dispatch(session, telnet_ ? telnetText(line) : line);
            continue;
        }
        long n = session.receive(buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::lock_guard<std::mutex> lock(mutex_);
        controlBytes_.back().append(buffer, static_cast<std::size_t>(n));
    }
    session.closeData();
    closeFd(session.passiveListener_);
    endTls(session.ssl_);
}

void ScriptedFtpServer::dispatch(ScriptedSession& session, const std::string& line) {
    std::string argument;
    std::string verb = upperVerb(line, argument);
    ScriptedHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(line);
        auto found = handlers_.find(verb);
        if (found != handlers_.end())
            handler = found->second;
    }
    if (handler)
        handler(session, argument);
    else
        session.reply("500 unknown command");
}

// ---- listings

void trickleListing(ScriptedSession& s, int intervalMs, int forMs) {
    s.reply("150 here it comes");
    s.openData();
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(forMs);
    for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        if (!s.sendData("-rw-r--r-- 1 0 0 1 Jan 01 2020 line" + std::to_string(i) + "\r\n")) {
            s.reply("426 transfer aborted");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    s.closeData();
    s.reply("226 done");
}

void aimPassiveRepliesAt(ScriptedFtpServer& server, int port) {
    server.on("PORT", [](ScriptedSession& s, const std::string&) { s.reply("500 no active mode here"); });
    server.on("EPSV", [port](ScriptedSession& s, const std::string&) {
        s.reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
    });
    server.on("PASV", [port](ScriptedSession& s, const std::string&) {
        s.reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                std::to_string(port % 256) + ")");
    });
}

void endlessListing(ScriptedSession& s) {
    s.reply("150 here it comes");
    s.openData();
    const std::string block = mlsdLines(4096);
    while (s.sendData(block)) {
    }
    s.reply("426 transfer aborted");
}

std::string mlsdLines(std::size_t n) {
    std::string text;
    text.reserve(n * 16);
    for (std::size_t i = 0; i < n; ++i)
        text += "type=file; f" + std::to_string(i) + "\r\n";
    return text;
}

} // namespace testsupport
