#pragma once
// A small FTP server of our own for the cases real servers will not
// produce: odd framing, garbage, stalls, dropped connections. It listens on
// 127.0.0.1 only and serves one control connection at a time on its own
// thread. Every command has a default answer; a test replaces the answer of
// the verbs it cares about with on().
//
// With enableTls() it answers AUTH TLS with 234 and speaks TLS on the
// control connection from then on, and on data connections after PROT P
// (it is the TLS server on both, in both modes).
//
// By default it restarts transfers as servers do: REST n (350), then RETR
// sends the file from byte n and STOR writes from byte n on; APPE appends;
// SIZE and MDTM answer for the files it serves or was sent.
//
//   ScriptedFtpServer server;
//   server.on("PWD", [](ScriptedSession& s, const std::string&) { s.send("257 \"/a\r\n"); });
//   ASSERT_TRUE(server.start());
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace testsupport {

class ScriptedFtpServer;

// One control connection as a handler sees it.
class ScriptedSession {
public:
    // Raw bytes on the control connection (nothing added). These and
    // sendData return false once the client is gone.
    bool send(const std::string& bytes);
    // One reply line; CR LF is added.
    bool reply(const std::string& line);
    // The bytes one write at a time, so the client gets them in pieces.
    void sendByteByByte(const std::string& bytes);
    // Opens the data connection as the last PORT/EPRT/EPSV/PASV said.
    bool openData();
    bool sendData(const std::string& bytes);
    // Until the client ends the stream (or atMost bytes came).
    std::string receiveData(std::size_t atMost = SIZE_MAX);
    void closeData();
    // Ends the data connection without close_notify, as a stream cut by
    // someone between looks.
    void cutData();
    // A third party: connects to the client's active-mode data port from
    // another loopback address (e.g. "127.0.0.2"), sends the bytes and
    // closes. False when it could not connect.
    bool intrudeOnActivePort(const std::string& fromHost, const std::string& bytes);
    // A whole listing or file the ordinary way: 150, the bytes on a new data
    // connection, 226.
    void serveData(const std::string& bytes);
    // True when the client asked for passive mode (EPSV/PASV) last.
    bool passive() const { return passiveListener_ >= 0; }
    // Waits up to ms for the client to close the control connection
    // (a handler that plays dead calls this).
    void waitForClientClose(int ms);
    // Ends the control connection (and the data connection).
    void close();
    bool closed() const { return closed_; }
    // TLS server handshake on the control connection (after "234 ...").
    bool startTls();
    bool tlsActive() const { return ssl_ != nullptr; }
    // PROT P: data connections go through TLS from the next one on.
    void protectData(bool on) { protectData_ = on; }
    // Received bytes of the control connection; 0 at its end.
    long receive(char* buffer, std::size_t size);
    // The offset of the last REST, taken (0 when there was none).
    long long takeRestart();
    ScriptedFtpServer& server() { return *server_; }

private:
    friend class ScriptedFtpServer;
    ScriptedFtpServer* server_ = nullptr;
    bool writeControl(const std::string& bytes);
    bool writeData(const std::string& bytes);

    int control_ = -1;
    int data_ = -1;
    int passiveListener_ = -1;
    int activePort_ = 0;
    bool closed_ = false;
    ssl_st* ssl_ = nullptr;      // control connection under TLS
    ssl_st* dataSsl_ = nullptr;  // data connection under TLS
    bool protectData_ = false;
    long long restart_ = 0;
};

using ScriptedHandler = std::function<void(ScriptedSession& session, const std::string& argument)>;

class ScriptedFtpServer {
public:
    ScriptedFtpServer();
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    // Replaces the answer to a verb (upper case, e.g. "LIST").
    void on(const std::string& verb, ScriptedHandler handler);
    // Raw bytes sent when a client connects (default "220 scripted\r\n").
    void setGreeting(const std::string& bytes);
    // The greeting goes out this long after the connect (a slow server).
    void setGreetingDelay(int ms) { greetingDelayMs_ = ms; }
    // Lines of the FEAT reply between its first and last line.
    void setFeatures(const std::vector<std::string>& features);
    // What LIST and MLSD send on the data connection.
    void setListing(const std::string& bytes);
    // What RETR sends for the name (and SIZE counts).
    void setFile(const std::string& name, const std::string& bytes);
    // What MDTM answers for the name ("YYYYMMDDHHMMSS"); without one, 550.
    void setFileTime(const std::string& name, const std::string& time);
    // What SIZE counts for the name: the file set or the bytes stored; -1
    // when there is neither.
    long long sizeOf(const std::string& name) const;
    // The bytes set for the name.
    std::string file(const std::string& name) const;
    // The default answers to RETR and to STOR/APPE (append), for handlers
    // that do something else only some of the time.
    void serveFile(ScriptedSession& s, const std::string& name);
    void storeFile(ScriptedSession& s, const std::string& name, bool append);

    // Reads the control connection as Telnet-reading servers do: IAC IAC
    // is one byte 0xFF, IAC and another byte (and the option byte of a
    // negotiation) are dropped. Handlers and commands() see the result.
    void setTelnetControl(bool telnet) { telnet_ = telnet; }

    // TLS with this certificate and key (PEM files).
    bool enableTls(const std::string& certificateFile, const std::string& keyFile);
    // No TLS any more (AUTH TLS refused); between stop() and start().
    void disableTls();
    // TLS from the first byte, before the greeting (implicit TLS).
    void setImplicitTls(bool implicit) { implicitTls_ = implicit; }

    // port 0: one the system chooses.
    bool start(int port = 0);
    void stop();
    int port() const { return port_; }

    // Every command line received so far, in order.
    std::vector<std::string> commands() const;
    bool received(const std::string& verb) const;
    // The bytes of the last STOR of the name.
    std::string upload(const std::string& name) const;
    // Sets what the server holds under the name, as if it had been sent.
    void setUpload(const std::string& name, const std::string& bytes);
    int connections() const { return connections_.load(); }
    // Control connections whose TLS session resumed an earlier one.
    int resumedSessions() const { return resumedSessions_.load(); }
    // Control connections that have ended (the client closed, or the
    // server did).
    int finishedConnections() const { return finished_.load(); }
    // Every byte the client sent on each control connection so far (as
    // read: after the TLS layer once it is on), one entry per connection.
    std::vector<std::string> controlBytes() const;

private:
    friend class ScriptedSession;
    void run();
    void serve(int fd);
    void installDefaults();
    void dispatch(ScriptedSession& session, const std::string& line);

    int listener_ = -1;
    int port_ = 0;
    ssl_ctx_st* tls_ = nullptr;
    bool implicitTls_ = false;
    std::atomic<bool> telnet_{false};
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> client_{-1};
    std::atomic<int> connections_{0};
    std::atomic<int> finished_{0};
    std::atomic<int> resumedSessions_{0};
    mutable std::mutex mutex_;
    std::map<std::string, ScriptedHandler> handlers_;
    std::string greeting_ = "220 scripted\r\n";
    std::atomic<int> greetingDelayMs_{0};
    std::vector<std::string> features_;
    std::string listing_;
    std::map<std::string, std::string> files_;
    std::map<std::string, std::string> fileTimes_;
    std::map<std::string, std::string> uploads_;
    std::vector<std::string> commands_;
    std::vector<std::string> controlBytes_;
};

// Listings of the kinds the fault tests need, served from a handler:
// one Unix line every intervalMs for at most forMs (a 426 reply once the
// client stops reading, as real servers do); MLSD lines without end until
// the client stops reading; and n MLSD lines of short names.
void trickleListing(ScriptedSession& s, int intervalMs, int forMs);
// A server that refuses active mode and names the port (on 127.0.0.1) in
// its EPSV and PASV replies, without listening there itself.
void aimPassiveRepliesAt(ScriptedFtpServer& server, int port);
void endlessListing(ScriptedSession& s);
std::string mlsdLines(std::size_t n);

} // namespace testsupport
