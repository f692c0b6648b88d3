// wan_relay: makes a local FTP server look far away, for the benchmarks.
// Prints "listening on 127.0.0.1:PORT" once it accepts connections, then
// runs until it is ended (SIGTERM). See the usage text below.
#include "bench/relay/Relay.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage = R"(usage: wan_relay --server-port PORT [options]
Relays FTP on 127.0.0.1 to the FTP server on 127.0.0.1:PORT, adding a fixed
one-way delay to everything in both directions, on the control connection
and on every data connection. PORT/EPRT commands and 227/229 (PASV/EPSV)
replies are rewritten to ports of the relay's own, so active and passive data
connections pass through it too. Plain FTP only: after AUTH (TLS on the
control connection) nothing can be rewritten, and data connections then go
around the relay or fail.
  --listen-port P     port to listen on (default 0: any free port)
  --delay-ms D        one-way delay in milliseconds (RTT = 2 D; default 0)
  --buffer-mib M      bytes held per direction of a connection (default 64)
  --cut-data-at B     cut the first data connection once it has carried B
                      bytes (both directions counted); once per relay run
  --cut-mode M        reset (default: SO_LINGER 0, both ends get a reset) or
                      close (plain close: the client sees the data end early)
  --log               print every control command (PASS masked) and data
                      connection to stderr, with the seconds since start
)";

int usage(const char* problem) {
    if (problem)
        std::fprintf(stderr, "wan_relay: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseNumber(const char* text, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

} // namespace

int main(int argc, char** argv) {
    relay::RelayOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--log") {
            options.log = true;
            continue;
        }
        if (name == "--help" || name == "-h")
            return usage(nullptr);
        if (i + 1 >= argc)
            return usage(("missing value for " + name).c_str());
        const char* value = argv[++i];
        long long number = 0;
        if (name == "--cut-mode") {
            if (std::strcmp(value, "reset") == 0)
                options.cutMode = relay::CutMode::Reset;
            else if (std::strcmp(value, "close") == 0)
                options.cutMode = relay::CutMode::Close;
            else
                return usage("--cut-mode is reset or close");
            continue;
        }
        if (!parseNumber(value, number))
            return usage(("not a number: " + name + " " + value).c_str());
        if (name == "--server-port" && number > 0 && number < 65536)
            options.serverPort = static_cast<int>(number);
        else if (name == "--listen-port" && number < 65536)
            options.listenPort = static_cast<int>(number);
        else if (name == "--delay-ms")
            options.delay = std::chrono::milliseconds(number);
        else if (name == "--buffer-mib" && number > 0)
            options.bufferBytes = static_cast<std::size_t>(number) << 20;
        else if (name == "--cut-data-at")
            options.cutDataAt = number;
        else
            return usage(("unknown option or bad value: " + name).c_str());
    }
    if (options.serverPort == 0)
        return usage("--server-port is required");
    std::signal(SIGPIPE, SIG_IGN);
    relay::Relay relay(options);
    std::string error;
    if (!relay.listen(error)) {
        std::fprintf(stderr, "wan_relay: cannot listen: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", relay.port());
    std::fflush(stdout);
    relay.run();
    std::perror("wan_relay: poll");
    return 1;
}
