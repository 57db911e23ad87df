#include "selftest/limit.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace selftest {
namespace {

using Clock = std::chrono::steady_clock;

// The status as a shell gives it; nothing yet while the process runs.
std::optional<int> ended(pid_t pid) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) {
        return std::nullopt;
    }
    if (done < 0) {
        return 127;
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Looks every 10 ms: a wait with a time-out on a child has no portable call of its own.
std::optional<int> awaitEnd(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        if (auto status = ended(pid)) {
            return status;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

int runWithin(double seconds, const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        return 127;
    }
    if (pid == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "couldn't start %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    auto limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    if (auto status = awaitEnd(pid, Clock::now() + limit)) {
        return *status;
    }
    kill(pid, SIGTERM);
    if (!awaitEnd(pid, Clock::now() + std::chrono::seconds(1))) {
        kill(pid, SIGKILL);
        awaitEnd(pid, Clock::time_point::max());
    }
    std::fprintf(stderr, "%s: still running after %g s, stopped\n", argv[0], seconds);
    return 124;
}

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace selftest
