#pragma once
// Starting and ending the server processes of the tests, by the PID we
// started.
#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// How long a server may take to start.
constexpr int kServerStartWaitMs = 10000;

// Starts argv[0] with stdin on stdinPath (read-write); standard error goes
// to errorPath (or is discarded), standard output is discarded. extraEnv
// ("NAME=value") is added to the environment.
pid_t launch(const std::vector<std::string>& argv, const std::string& stdinPath,
             const std::string& errorPath = "/dev/null", const std::vector<std::string>& extraEnv = {});
// SIGTERM, then SIGKILL when it does not end; pid is -1 afterwards.
void terminate(pid_t& pid);
// Runs the program to its end; true when it exited with 0.
bool runToEnd(const std::vector<std::string>& argv);
// Waits until the server accepts on the port; false when it died first.
bool waitUntilListening(pid_t pid, int port);
// Servers that bind a port the system picks name it in their log, after
// marker ("server on 127.0.0.1:"). Reading it back avoids probing ports
// that other tests' data connections may be using. 0 when the server died
// or said nothing in time.
int waitForLoggedPort(pid_t pid, const std::string& logPath, const std::string& marker);

} // namespace testsupport
