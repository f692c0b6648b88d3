#include "platform/ProcessLauncher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace platform {

std::string findOnPath(const std::string& program) {
    if (program.empty())
        return std::string();
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    const char* path = std::getenv("PATH");
    const std::string dirs(path ? std::string_view(path) : std::string_view("/usr/bin:/bin"));
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

bool startDetached(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    std::string program = findOnPath(argv[0]);
    if (program.empty())
        return false;
    // A double fork: the middle child exits at once, so the program is
    // adopted by init and never waited for by us.
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0)
        return false;
    pid_t middle = ::fork();
    if (middle < 0) {
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        return false;
    }
    if (middle == 0) {
        ::setsid();
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t child;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int rc = posix_spawn(&child, program.c_str(), &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        char ok = rc == 0 ? 1 : 0;
        (void)!::write(pipeFd[1], &ok, 1);
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    char ok = 0;
    ssize_t n;
    do {
        n = ::read(pipeFd[0], &ok, 1);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFd[0]);
    int status;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return n == 1 && ok == 1;
}

bool openWithAssociatedProgram(const std::string& path) {
    return startDetached({"xdg-open", path});
}

} // namespace platform
