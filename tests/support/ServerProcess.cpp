#include "tests/support/ServerProcess.h"

#include "tests/support/FtpServers.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

pid_t launch(const std::vector<std::string>& argv, const std::string& stdinPath, const std::string& errorPath,
             const std::vector<std::string>& extraEnv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // Built before fork(): the child of a threaded process only execs.
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    for (const std::string& e : extraEnv)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int in = ::open(stdinPath.c_str(), O_RDWR | O_CREAT, 0600);
    int out = ::open("/dev/null", O_WRONLY);
    int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
}

bool runToEnd(const std::vector<std::string>& argv) {
    pid_t pid = launch(argv, "/dev/null");
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void terminate(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool waitUntilListening(pid_t pid, int port) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kServerStartWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        if (portAccepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int waitForLoggedPort(pid_t pid, const std::string& logPath, const std::string& marker) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kServerStartWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return 0;
        std::string log = readFileBytes(logPath);
        size_t at = log.find(marker);
        if (at != std::string::npos) {
            int port = std::atoi(log.c_str() + at + marker.size());
            if (port > 0)
                return port;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

} // namespace testsupport
