// How long a host waits on the programs, as medians of repeated runs on the simulated machine:
// a "--read" against a trivial program of ours started the same way, the restore after the host
// lets go (closed standard input, SIGTERM, the host's death), the end of a capture on SIGTERM, on
// the host's death and on a restart of the audio service, how soon a capture of an application
// hears a process the application starts, and how often a capture's main thread wakes while
// nothing happens.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const std::string binDir = SORVANE_BIN_DIR;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

// The bench's environment with the machine file added.
std::vector<std::string> environment(const std::string& machine) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "SORVANE_MACHINE", 15) != 0) {
            env.push_back(*e);
        }
    }
    env.push_back("SORVANE_MACHINE=" + machine);
    return env;
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

// A started program with pipes to its standard input and output (standard error too when asked).
struct Running {
    pid_t pid = -1;
    pid_t intermediate = -1;  // with a parent of ours in between, that parent
    int in = -1, out = -1, err = -1;
    std::string buffered;

    ~Running() {
        for (int fd : {in, out, err}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Waits for a line holding `text`; the moment it was read, nothing at the end or after `seconds`.
    std::optional<Clock::time_point> lineWith(const std::string& text, double seconds, int fd = -1) {
        if (fd < 0) {
            fd = out;
        }
        auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < deadline) {
            auto newline = buffered.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffered.substr(0, newline);
                buffered.erase(0, newline + 1);
                if (line.find(text) != std::string::npos) {
                    return Clock::now();
                }
                continue;
            }
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 50);
            char chunk[4096];
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n == 0) {
                return std::nullopt;
            }
            if (n > 0) {
                buffered.append(chunk, static_cast<std::size_t>(n));
            }
        }
        return std::nullopt;
    }

    // Waits (a second at most) until the program's main thread blocks reading standard input.
    void awaitHold() const {
        auto deadline = Clock::now() + std::chrono::seconds(1);
        std::string path = "/proc/" + std::to_string(pid) + "/wchan", where;
        while (where.find("pipe_read") == std::string::npos && Clock::now() < deadline) {
            usleep(200);
            FILE* file = std::fopen(path.c_str(), "r");
            char text[128] = {};
            if (file) {
                where = std::fgets(text, sizeof text, file) ? text : "";
                std::fclose(file);
            }
        }
    }

    int wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
};

[[noreturn]] void execute(std::vector<std::string> args, std::vector<std::string> env, int in, int out, int err) {
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd) {
        close(fd);
    }
    auto argv = pointers(args);
    auto envp = pointers(env);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

// Starts the program; with `viaParent` a process of ours starts it and waits, so that it can die.
// With `capture`, standard output goes to /dev/null, which never fills, and standard error to us;
// with `both` too, standard output comes to us as well.
Running start(const std::vector<std::string>& args, const std::vector<std::string>& env, bool viaParent = false,
              bool capture = false, bool both = false) {
    int inPipe[2], outPipe[2], errPipe[2], pidPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) || pipe2(pidPipe, O_CLOEXEC)) {
        std::perror("pipe");
        std::exit(1);
    }
    int nullFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int outTarget = capture && !both ? nullFd : outPipe[1];
    int errTarget = capture ? errPipe[1] : nullFd;
    pid_t first = fork();
    if (first == 0) {
        if (!viaParent) {
            execute(args, env, inPipe[0], outTarget, errTarget);
        }
        pid_t program = fork();
        if (program == 0) {
            execute(args, env, inPipe[0], outTarget, errTarget);
        }
        (void)!write(pidPipe[1], &program, sizeof program);
        for (int fd = 3; fd < 1024; ++fd) {
            close(fd);
        }
        waitpid(program, nullptr, 0);
        _exit(0);
    }
    Running running;
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    close(pidPipe[1]);
    close(nullFd);
    running.in = inPipe[1];
    running.out = outPipe[0];
    running.err = errPipe[0];
    if (viaParent) {
        running.intermediate = first;
        if (read(pidPipe[0], &running.pid, sizeof running.pid) != sizeof running.pid) {
            std::fprintf(stderr, "latency: no program started\n");
            std::exit(1);
        }
    } else {
        running.pid = first;
    }
    close(pidPipe[0]);
    return running;
}

// Voluntary and involuntary context switches of a process's main thread so far; -1 unknown.
long mainThreadSwitches(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        return -1;
    }
    long sum = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        long n = 0;
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1 ||
            std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n) == 1) {
            sum += n;
        }
    }
    std::fclose(file);
    return sum;
}

struct Figures {
    std::vector<double> values;
    double median() const {
        auto sorted = values;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty()) {
            return 0;
        }
        std::size_t mid = sorted.size() / 2;
        return sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
    }
    double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

void row(const char* what, const Figures& f, const char* goal, bool met) {
    std::printf("%-44s %9.2f ms %9.2f ms  %4zu runs   %-10s %s\n", what, f.median(), f.max(), f.values.size(), goal,
                met ? "met" : "MISSED");
}

// Start to end of a program that answers on standard output and exits.
double wallTime(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    auto started = Clock::now();
    Running run = start(args, env);
    close(run.in);
    run.in = -1;
    char chunk[4096];
    while (read(run.out, chunk, sizeof chunk) > 0) {
    }
    run.wait();
    return millisecondsBetween(started, Clock::now());
}

const char* machineText = R"({"defaultOutput":"spk","defaultInput":"mic",)"
                          R"("devices":[{"uid":"spk","name":"Speakers","rate":44100,"output":[2],"volume":{"0":0.75}},)"
                          R"({"uid":"studio","name":"Studio","rate":48000,"rates":[[44100,44100],[48000,48000],[96000,96000]],)"
                          R"("output":[2],"input":[2],"layout":"AgBlAAAAAAAAAAAA","volume":{"1":1.0,"2":0.5}},)"
                          R"({"uid":"mic","name":"Mic","rate":44100,"input":[1]}],)"
                          R"("processes":[{"pid":501,"bundleId":"x.music","playing":true,"devices":["spk"]}],)"
                          R"("tap":{"clock":"realtime"}})";

const char* wantedLine = R"({"output":{"uid":"studio","rate":96000,"layout":"AwBlAAAAAAAAAAAA","volume":{"1":0.25,"2":0.125}},)"
                         R"("input":{"uid":"studio"}})"
                         "\n";

}  // namespace

int main(int argc, char** argv) {
    int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;  // more runs for steadier medians
    // Orphans of ours come back to us, as they would to a launcher, so their ends can be waited for.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    signal(SIGPIPE, SIG_IGN);

    char folderTemplate[] = "/tmp/sorvane-latency-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string base = folderTemplate;
    std::string machine = base + "/machine.json", settings = base + "/settings";
    if (!writeFile(machine, machineText)) {
        std::perror("machine file");
        return 1;
    }
    auto env = environment(machine);
    std::string sound = binDir + "/sorvane-sound", tap = binDir + "/sorvane-tap";
    {
        Running save = start({sound, "--save", settings}, env);
        (void)!write(save.in, wantedLine, std::strlen(wantedLine));
        if (!save.lineWith("\"saved\"", 10)) {
            std::fprintf(stderr, "latency: the settings could not be saved\n");
            return 1;
        }
        save.wait();
    }

    std::printf("%-44s %12s %12s  %9s   %-10s %s\n", "measure", "median", "max", "", "goal", "result");

    // Alternating, so that a busy moment of the machine falls on both alike.
    Figures readTimes, trivialTimes;
    for (int i = 0; i < 5; ++i) {
        wallTime({sound, "--read"}, env);
        wallTime({binDir + "/sorvane_trivial"}, env);
    }
    for (int i = 0; i < 40 * scale; ++i) {
        readTimes.values.push_back(wallTime({sound, "--read"}, env));
        trivialTimes.values.push_back(wallTime({binDir + "/sorvane_trivial"}, env));
    }
    double ratio = readTimes.median() / trivialTimes.median();
    row("sorvane-sound --read, start to end", readTimes, "", true);
    row("trivial program, start to end", trivialTimes, "", true);
    std::printf("%-44s %9.2f x  %27s   %-10s %s\n", "  --read against trivial (medians)", ratio, "", "<= 3x",
                ratio <= 3 ? "met" : "MISSED");

    // The three ways a host lets go of a switch, each from the moment it does to the report.
    enum class Way { input, signal, parent };
    auto letGo = [&](Way way, int runs) {
        Figures figures;
        for (int i = 0; i < runs; ++i) {
            Running run = start({sound, "--switch", settings}, env, way == Way::parent);
            if (!run.lineWith("\"switched\"", 10)) {
                std::fprintf(stderr, "latency: no switch\n");
                std::exit(1);
            }
            auto from = Clock::now();
            if (way == Way::input) {
                close(run.in);
                run.in = -1;
            } else if (way == Way::signal) {
                kill(run.pid, SIGTERM);
            } else {
                // The hold takes note of its parent after the report; a parent gone before that is
                // not the host it watches. Its read of standard input shows that it has.
                run.awaitHold();
                from = Clock::now();
                kill(run.intermediate, SIGKILL);
                waitpid(run.intermediate, nullptr, 0);
            }
            auto restored = run.lineWith("\"restored\"", 10);
            if (!restored) {
                std::fprintf(stderr, "latency: no restore\n");
                std::exit(1);
            }
            figures.values.push_back(millisecondsBetween(from, *restored));
            run.wait();
        }
        return figures;
    };
    auto input = letGo(Way::input, 20 * scale);
    row("stdin closed -> \"restored\"", input, "< 20 ms", input.median() < 20);
    auto term = letGo(Way::signal, 20 * scale);
    row("SIGTERM -> \"restored\"", term, "< 20 ms", term.median() < 20);
    auto parent = letGo(Way::parent, 20 * scale);
    row("parent killed -> \"restored\"", parent, "< 20 ms", parent.median() < 20);

    // A capture on the real-time clock into /dev/null, so no full pipe holds it up; ended by a
    // signal, by the death of its parent, or by a restart of the audio service.
    enum class End { signal, parent, restart };
    int restarts = 0;
    auto endCapture = [&](End end, int runs) {
        Figures figures;
        for (int i = 0; i < runs; ++i) {
            Running run = start({tap, "--bundle-id", "x.music"}, env, end == End::parent, true);
            if (!run.lineWith("\"format\"", 10, run.err)) {
                std::fprintf(stderr, "latency: no capture\n");
                std::exit(1);
            }
            usleep(static_cast<useconds_t>(20000 + (i * 7919) % 100000));
            auto from = Clock::now();
            if (end == End::parent) {
                kill(run.intermediate, SIGKILL);
                waitpid(run.intermediate, nullptr, 0);
            } else if (end == End::signal) {
                kill(run.pid, SIGTERM);
            } else {
                std::string text = machineText;
                text.insert(1, "\"restarts\":" + std::to_string(++restarts) + ",");
                from = Clock::now();
                if (!writeFile(machine + ".new", text) || std::rename((machine + ".new").c_str(), machine.c_str()) != 0 ||
                    !run.lineWith("restarted", 10, run.err)) {
                    std::fprintf(stderr, "latency: no report of the restart\n");
                    std::exit(1);
                }
                figures.values.push_back(millisecondsBetween(from, Clock::now()));
                run.wait();
                continue;
            }
            run.wait();
            figures.values.push_back(millisecondsBetween(from, Clock::now()));
        }
        return figures;
    };
    auto stops = endCapture(End::signal, 15 * scale);
    row("SIGTERM -> capture's exit", stops, "< 2 ms", stops.median() < 2);
    auto orphaned = endCapture(End::parent, 15 * scale);
    row("parent killed -> capture's exit", orphaned, "< 2 ms", orphaned.median() < 2);
    auto restarted = endCapture(End::restart, 10 * scale);
    row("service restart -> capture's error report", restarted, "< 100 ms", restarted.median() < 100);

    // The capture's main thread while nothing happens: its context switches over two seconds of a
    // steady real-time capture, each a wakeup from its wait.
    Figures wakeups;
    for (int i = 0; i < 3 * scale; ++i) {
        Running run = start({tap, "--bundle-id", "x.music"}, env, false, true);
        if (!run.lineWith("\"format\"", 10, run.err)) {
            std::fprintf(stderr, "latency: no capture\n");
            std::exit(1);
        }
        usleep(100000);
        const long before = mainThreadSwitches(run.pid);
        usleep(2000000);
        const long after = mainThreadSwitches(run.pid);
        wakeups.values.push_back(static_cast<double>(after - before) / 2);
        kill(run.pid, SIGTERM);
        run.wait();
    }
    // A capture of x.music while the application starts a helper that plays: from the machine file
    // naming it to the first frame of the stream that holds its sound (the helper plays at a level
    // that lifts the left channel above anything the music alone reaches).
    Figures joined;
    for (int i = 0; i < 10 * scale; ++i) {
        Running run = start({tap, "--bundle-id", "x.music"}, env, false, true, true);
        if (!run.lineWith("\"format\"", 10, run.err)) {
            std::fprintf(stderr, "latency: no capture\n");
            std::exit(1);
        }
        std::string stream;
        auto firstLoud = [&](double seconds) -> std::optional<Clock::time_point> {
            const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
            while (Clock::now() < deadline) {
                pollfd p{run.out, POLLIN, 0};
                poll(&p, 1, 10);
                char chunk[65536];
                const ssize_t n = read(run.out, chunk, sizeof chunk);
                if (n <= 0) {
                    continue;
                }
                stream.append(chunk, static_cast<std::size_t>(n));
                for (; stream.size() >= 8; stream.erase(0, 8)) {
                    float left = 0;
                    std::memcpy(&left, stream.data(), sizeof left);
                    if (left > 0.04f) {
                        return Clock::now();
                    }
                }
            }
            return std::nullopt;
        };
        firstLoud(0.05 + (i * 7919) % 100000 / 1e6);  // the music alone meanwhile
        std::string text = machineText;
        const std::string music = R"("playing":true,"devices":["spk"]})";
        text.insert(text.find(music) + music.size(), R"(,{"pid":601,"bundleId":"x.music.helper","playing":true,"devices":["spk"],"level":0.25})");
        const auto from = Clock::now();
        if (!writeFile(machine + ".new", text) || std::rename((machine + ".new").c_str(), machine.c_str()) != 0) {
            std::fprintf(stderr, "latency: the machine file could not be written\n");
            std::exit(1);
        }
        const auto heard = firstLoud(5);
        kill(run.pid, SIGTERM);
        close(run.out);
        run.out = -1;
        run.wait();
        if (!heard || !writeFile(machine, machineText)) {
            std::fprintf(stderr, "latency: the helper was never heard\n");
            std::exit(1);
        }
        joined.values.push_back(millisecondsBetween(from, *heard));
    }
    row("app's new process plays -> its sound read", joined, "< 100 ms", joined.median() < 100);

    std::printf("%-44s %9.2f /s %9.2f /s  %4zu runs   %-10s %s\n", "capture's main thread wakeups", wakeups.median(),
                wakeups.max(), wakeups.values.size(), "0 /s", wakeups.max() == 0 ? "met" : "MISSED");

    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return 0;
}
