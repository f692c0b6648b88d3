#pragma once
// A relay on 127.0.0.1 that passes each connection on to a server's port,
// both ways, and keeps what the client sent on each. It stands between the
// client and a real server where a test must see the client's bytes, or
// where the server behind one address changes (setTarget), as after a
// restart. One connection at a time, on a thread of its own.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class TcpRelay {
public:
    TcpRelay() = default;
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // Listens on a port the system chooses and relays to targetPort.
    bool start(int targetPort);
    void stop();
    int port() const { return port_; }
    // Connections from now on go to this port.
    void setTarget(int targetPort) { target_ = targetPort; }

    // What the client sent, one entry per connection so far.
    std::vector<std::string> clientBytes() const;
    // Connections that have ended on both sides.
    int finishedConnections() const { return finished_.load(); }
    int connections() const { return connections_.load(); }

private:
    void run();
    void relay(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> target_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> finished_{0};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> clientBytes_;
};

} // namespace testsupport
