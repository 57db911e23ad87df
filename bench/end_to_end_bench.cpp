// sorvane-tap on the simulated machine's "fast" clock, through a pipe to a reader that discards:
// how many times faster than real time 48 kHz stereo in 512-frame cycles flows.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr long cycles = 20000;
constexpr long framesPerCycle = 512;
constexpr double rate = 48000;
constexpr std::size_t streamBytes = cycles * framesPerCycle * 2 * sizeof(float);

std::string machineFile() {
    char path[] = "/tmp/sorvane-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        return "";
    }
    std::string machine = R"({"devices":[{"uid":"spk","name":"Speakers","rate":48000,"output":[2]}],)"
                          R"("defaultOutput":"spk",)"
                          R"("processes":[{"pid":500,"bundleId":"com.example.music","playing":true,"devices":["spk"]}],)"
                          R"("tap":{"clock":"fast","frames":512,"cycles":)" +
                          std::to_string(cycles) + "}}";
    bool written = write(fd, machine.data(), machine.size()) == static_cast<ssize_t>(machine.size());
    close(fd);
    return written ? std::string(path) : "";
}

// One capture: the seconds from the first byte to the last of `streamBytes`; nothing on failure.
bool capture(const std::string& machine, double& seconds) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::string program = std::string(SORVANE_BIN_DIR) + "/sorvane-tap";
    std::vector<std::string> argStore = {program, "--pid", "500"};
    std::vector<char*> argv;
    for (auto& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore = {"SORVANE_MACHINE=" + machine};
    for (char** e = environ; *e != nullptr; ++e) {
        envStore.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    pid_t child = -1;
    int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }

    std::vector<char> sink(1 << 20);
    std::size_t total = 0;
    auto start = std::chrono::steady_clock::now();
    while (total < streamBytes) {
        ssize_t n = read(pipeFds[0], sink.data(), sink.size());
        if (n <= 0) {
            break;
        }
        if (total == 0) {
            start = std::chrono::steady_clock::now();
        }
        total += static_cast<std::size_t>(n);
    }
    auto end = std::chrono::steady_clock::now();
    kill(child, SIGTERM);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    seconds = std::chrono::duration<double>(end - start).count();
    return total == streamBytes;
}

void endToEndFast(benchmark::State& state) {
    std::string machine = machineFile();
    if (machine.empty()) {
        state.SkipWithError("cannot write the machine file");
        return;
    }
    double elapsed = 0;
    long runs = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!capture(machine, seconds)) {
            state.SkipWithError("the capture did not deliver the whole stream");
            break;
        }
        state.SetIterationTime(seconds);
        elapsed += seconds;
        ++runs;
    }
    std::remove(machine.c_str());
    if (runs > 0 && elapsed > 0) {
        double audioSeconds = static_cast<double>(runs * cycles * framesPerCycle) / rate;
        state.counters["MB/s"] = static_cast<double>(runs * streamBytes) / elapsed / 1e6;
        state.counters["x_realtime"] = audioSeconds / elapsed;
    }
}
BENCHMARK(endToEndFast)->Name("endToEnd/fast_48k_stereo_512")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
