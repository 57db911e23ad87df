// Helpers of the sound tests: back-end calls in a child process on a machine of their own, the
// call log, and runs of the real program.
#pragma once

#include "harness/harness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace sound_test {

// Runs sorvane-sound with the arguments against the machine, standard input /dev/null.
inline harness::Result runSound(const harness::Machine& machine, const std::vector<std::string>& args) {
    harness::Options options;
    options.env = machine.env();
    return harness::run(harness::program("sorvane-sound"), args, options);
}

// Runs `body` in a forked child process whose platform layer starts fresh on the machine file, so
// each case sees its own machine and the call log ends with that child's exit line.

// Answers what `body` returned in the child, or null when the child did not end normally. The parent
// never touches the platform itself.
inline nlohmann::json inChild(const harness::Machine& machine, const std::function<nlohmann::json()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "pipe";
        return nullptr;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        for (const auto& entry : machine.env()) {
            auto at = entry.find('=');
            setenv(entry.substr(0, at).c_str(), entry.substr(at + 1).c_str(), 1);
        }
        std::string text = body().dump();
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(channel[1], text.data() + done, text.size() - done);
            if (n <= 0) {
                _exit(2);
            }
            done += static_cast<size_t>(n);
        }
        close(channel[1]);
        std::exit(0);  // an ordinary exit, so the platform writes its exit line
    }
    close(channel[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "child ended with status " << status;
        return nullptr;
    }
    return nlohmann::json::parse(text, nullptr, false);
}

// The call log's lines whose "fn" is `fn`.
inline std::vector<nlohmann::json> calls(const harness::Machine& machine, const std::string& fn) {
    std::vector<nlohmann::json> found;
    for (const auto& line : machine.log()) {
        if (line.is_object() && line.value("fn", "") == fn) {
            found.push_back(line);
        }
    }
    return found;
}

// True when the log ends with the exit line of a run that released every string exactly once.
inline bool stringsBalanced(const harness::Machine& machine) {
    auto lines = machine.log();
    return !lines.empty() && lines.back() == nlohmann::json{{"fn", "exit"}, {"stringsAlive", 0}, {"overReleases", 0}};
}

}  // namespace sound_test
