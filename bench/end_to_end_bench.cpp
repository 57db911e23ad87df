// sorvane-tap on the simulated machine's "fast" clock, through a pipe to a reader that discards:
// how many times faster than real time 48 kHz stereo in 512-frame cycles flows, against dd writing
// the same bytes into the same reader; and the IO procedure's longest cycle while a reader pauses.
#include <benchmark/benchmark.h>

#include <algorithm>
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

// The stream read: 20000 cycles' worth. The fast clock outruns any reader, so the cycles go on
// without end and what the ring has no room for is lost: what arrives is what the writer moves.
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
                          R"("tap":{"clock":"fast","frames":512}})";
    bool written = write(fd, machine.data(), machine.size()) == static_cast<ssize_t>(machine.size());
    close(fd);
    return written ? std::string(path) : "";
}

// Starts `args` with `env` added, its standard output into a new pipe whose reading end is
// `readEnd`; -1 on failure.
pid_t spawnInto(const std::vector<std::string>& args, const std::vector<std::string>& env, int& readEnd) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argStore = args, envStore = env;
    for (char** e = environ; *e != nullptr; ++e) {
        envStore.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (auto& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t child = -1;
    int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return -1;
    }
    readEnd = pipeFds[0];
    return child;
}

// Reads `bytes` from `fd` into nothing; the bytes read.
std::size_t drain(int fd, std::size_t bytes, std::chrono::steady_clock::time_point* first = nullptr) {
    static std::vector<char> sink(1 << 20);
    std::size_t total = 0;
    while (total < bytes) {
        ssize_t n = read(fd, sink.data(), std::min(sink.size(), bytes - total));
        if (n <= 0) {
            break;
        }
        if (total == 0 && first != nullptr) {
            *first = std::chrono::steady_clock::now();
        }
        total += static_cast<std::size_t>(n);
    }
    return total;
}

// One run of a writer into a reader that discards: the seconds from the first byte to the last of
// `streamBytes`; false on failure.
bool stream(const std::vector<std::string>& args, const std::vector<std::string>& env, double& seconds) {
    int fd = -1;
    pid_t child = spawnInto(args, env, fd);
    if (child < 0) {
        return false;
    }
    auto start = std::chrono::steady_clock::now();
    std::size_t total = drain(fd, streamBytes, &start);
    auto end = std::chrono::steady_clock::now();
    kill(child, SIGTERM);
    close(fd);
    int status = 0;
    waitpid(child, &status, 0);
    seconds = std::chrono::duration<double>(end - start).count();
    return total == streamBytes;
}

bool capture(const std::string& machine, double& seconds) {
    return stream({std::string(SORVANE_BIN_DIR) + "/sorvane-tap", "--pid", "500"}, {"SORVANE_MACHINE=" + machine},
                  seconds);
}

// The same bytes from dd in 4 KiB blocks, into the same reader: what a pipe takes at best.
void ddInto(benchmark::State& state) {
    double elapsed = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!stream({"dd", "if=/dev/zero", "bs=4096", "count=" + std::to_string(streamBytes / 4096), "status=none"}, {},
                    seconds)) {
            state.SkipWithError("dd did not deliver the whole stream");
            break;
        }
        state.SetIterationTime(seconds);
        elapsed += seconds;
    }
    if (elapsed > 0) {
        state.counters["MB/s"] = static_cast<double>(state.iterations() * streamBytes) / elapsed / 1e6;
    }
}
BENCHMARK(ddInto)->Name("endToEnd/dd_4KiB_blocks")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// A real-time capture whose reader pauses for a second in the middle, through a pipe as small as a
// Mac's: the IO procedure's longest cycle, as the simulated machine's log tells it.
void longestCycle(benchmark::State& state) {
    char folder[] = "/tmp/sorvane-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("cannot make a folder");
        return;
    }
    const std::string machine = std::string(folder) + "/machine.json", log = std::string(folder) + "/log";
    FILE* file = std::fopen(machine.c_str(), "w");
    if (file == nullptr) {
        state.SkipWithError("cannot write the machine file");
        return;
    }
    std::fputs(R"({"devices":[{"uid":"spk","rate":48000,"output":[2]}],"defaultOutput":"spk",)"
               R"("processes":[{"pid":500,"playing":true,"devices":["spk"]}],"tap":{"frames":512}})",
               file);
    std::fclose(file);
    double longest = 0;
    for (auto _ : state) {
        std::remove(log.c_str());
        int fd = -1;
        pid_t child = spawnInto({std::string(SORVANE_BIN_DIR) + "/sorvane-tap", "--pid", "500"},
                                {"SORVANE_MACHINE=" + machine, "SORVANE_MACHINE_LOG=" + log}, fd);
        if (child < 0) {
            state.SkipWithError("cannot start sorvane-tap");
            break;
        }
        fcntl(fd, F_SETPIPE_SZ, 16384);
        const std::size_t second = 48000 * 8;
        drain(fd, second / 2);
        sleep(1);
        drain(fd, second);
        kill(child, SIGTERM);
        drain(fd, SIZE_MAX);
        close(fd);
        int status = 0;
        waitpid(child, &status, 0);
        // The stop's line in the log: {"fn":"AudioDeviceStop",...,"longestCallNs":N}.
        std::string text;
        if (FILE* in = std::fopen(log.c_str(), "r")) {
            for (int c; (c = std::fgetc(in)) != EOF;) text += static_cast<char>(c);
            std::fclose(in);
        }
        const auto at = text.find("\"longestCallNs\":", text.find("\"AudioDeviceStop\""));
        if (at == std::string::npos) {
            state.SkipWithError("the log has no stop");
            break;
        }
        const double seconds = std::strtod(text.c_str() + at + 16, nullptr) / 1e9;
        state.SetIterationTime(seconds);
        longest = std::max(longest, seconds);
    }
    state.counters["longest_us"] = longest * 1e6;
    std::remove(log.c_str());
    std::remove(machine.c_str());
    rmdir(folder);
}
BENCHMARK(longestCycle)
    ->Name("endToEnd/longest_cycle_reader_pauses_1s")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMicrosecond);

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
