// Many short runs of the real programs at once, so that loops of hundreds of runs stay fast.
#pragma once

#include <nlohmann/json.hpp>
#include <sys/types.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace harness {

// Calls `body` once for every index from 0 to count - 1, on `lanes` threads; returns when all are done.
inline void inLanes(int lanes, int count, const std::function<void(int)>& body) {
    std::atomic<int> next{0};
    std::vector<std::jthread> threads;  // each joins as it goes out of scope
    for (int lane = 0; lane < lanes; ++lane) {
        threads.emplace_back([&] {
            for (int i = next++; i < count; i = next++) {
                body(i);
            }
        });
    }
}

// True while our child `pid` has not ended. Leaves its status to be collected, and its pipes
// untouched, unlike Child::wait, which drains them.
inline bool stillRunning(pid_t pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
        return info.si_pid == 0;
    }
    // A program started through a parent of ours is not our child until that parent is gone.
    return errno == ECHILD && kill(pid, 0) == 0;
}

// A member of a report or log line; null when the value is not an object or lacks it. Unlike
// json::value alone it never throws, which on a lane's thread would end the whole test program.
inline nlohmann::json field(const nlohmann::json& value, const char* key) {
    return value.is_object() ? value.value(key, nlohmann::json()) : nullptr;
}

}  // namespace harness
