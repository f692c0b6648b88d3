#pragma once
// A relay on 127.0.0.1 in front of an FTP server on 127.0.0.1 that makes
// the link between them look long: every chunk read from one end is written
// to the other `delay` later, in order, while reading goes on (a long fat
// link: the only limit besides the delay is a per-direction buffer cap). A
// new connection reaches the far end 3 × delay after it was opened (the
// three crossings of the TCP handshake), and its close or reset arrives
// after the bytes before it. Data connections pass through it too: it
// rewrites PORT/EPRT and 227/229 lines to ports of its own.
//
// One thread, one poll loop; runs until the process is ended.
#include "bench/relay/DelayPipe.h"
#include "bench/relay/FtpRewrite.h"
#include "bench/relay/LineStream.h"

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace relay {

enum class CutMode { Reset, Close };

struct RelayOptions {
    int listenPort = 0;  // 0: any free port
    int serverPort = 0;
    std::chrono::microseconds delay{0};
    std::size_t bufferBytes = 64u << 20;  // per direction of each connection
    int64_t cutDataAt = -1;               // -1: never
    CutMode cutMode = CutMode::Reset;
    bool log = false;
};

class Relay {
public:
    explicit Relay(const RelayOptions& options);
    bool listen(std::string& error);
    int port() const { return port_; }
    void run();

private:
    struct Side {
        int fd = -1;
        bool reading = true;  // its stream has not ended yet
        bool gone = false;    // reset or failed: nothing more goes to it
    };
    enum class OnwardState { Waiting, Connecting, Connected };
    struct Link {
        int id = 0;
        bool control = false;
        int controlId = 0;  // data: the control connection it belongs to
        Side opener;        // the end that connected to the relay
        Side onward;        // the relay's own connection to the target
        int targetPort = 0;
        Clock::time_point openAt;
        OnwardState state = OnwardState::Waiting;
        DelayPipe toOnward, toOpener;
        int64_t carried = 0;  // bytes written either way
        LineStream commands, replies;  // control only
        int listener = -1;             // control only: its data listener, not yet used
        int listenerTarget = 0;
        bool listenerActive = false;  // the server will connect (PORT/EPRT)
        bool authAsked = false;       // AUTH sent, its reply not yet seen
        // Replies wait for the data connection the server opened last to
        // reach the client (see acceptData).
        Clock::time_point holdRepliesUntil;
    };
    struct Watch {
        Link* link;  // null: the main listener, or a control's data listener
        Link* listenerOf;
        bool opener;
    };

    Clock::time_point nextWake(Clock::time_point now) const;
    void buildPollSet(Clock::time_point now);
    void handle(const pollfd& p, const Watch& w, Clock::time_point now);
    void acceptControl(Clock::time_point now);
    void acceptData(Link& control, Clock::time_point now);
    void openOnward(Link& link, Clock::time_point now);
    void finishConnect(Link& link, Clock::time_point now);
    void readFrom(Link& link, bool opener, Clock::time_point now);
    void writeTo(Link& link, bool opener, Clock::time_point now);
    void sideGone(Link& link, bool opener, Clock::time_point now);
    void cut(Link& link);
    bool finished(const Link& link) const;
    void closeLink(Link& link);
    std::string rewriteCommand(Link& link, const std::string& line);
    std::string rewriteReply(Link& link, const std::string& line);
    std::string withRelayAddress(Link& control, const std::string& line, const ParsedAddress& parsed, bool active);
    int openDataListener(Link& control, int targetPort, bool active);
    void closeDataListener(Link& control);
    void logLine(const std::string& text) const;

    RelayOptions options_;
    int listener_ = -1;
    int port_ = 0;
    int nextId_ = 1;
    bool cutDone_ = false;
    Clock::time_point started_;
    std::list<std::unique_ptr<Link>> links_;
    std::vector<pollfd> pollSet_;
    std::vector<Watch> watches_;
    std::vector<char> buffer_;
};

} // namespace relay
