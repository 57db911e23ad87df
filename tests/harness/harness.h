// Runs the real programs as child processes against a machine file, a settings folder and pipes.
#pragma once

#include <nlohmann/json.hpp>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace harness {

// Absolute path of a built program ("sorvane-sound", "sorvane-tap").
std::string program(const std::string& name);

struct Result {
    int status = -1;          // exit status; 128 + signal number when killed by a signal
    std::string out;          // everything written on standard output
    std::string err;          // everything written on standard error
    std::vector<std::string> outLines() const;  // `out` split at line feeds (no empty last piece)
};

struct Options {
    std::vector<std::string> env;        // extra "NAME=value" entries, added to the test's own
    std::optional<std::string> input;    // written to standard input, which is then closed;
                                         // nothing: standard input is empty
    double timeoutSeconds = 20;
};

// Runs to the end and collects everything.
Result run(const std::string& programPath, const std::vector<std::string>& args, const Options& options = {});

// A program kept running, with pipes to its standard input, output and error.
class Child {
public:
    // With `viaParent`, an intermediate process of ours starts the program and then waits, so a
    // test can make the program's parent die with `killParent`. The `ignored` signals reach the
    // program with the action SIG_IGN, as a launcher may leave them.
    Child(const std::string& programPath, const std::vector<std::string>& args,
          const std::vector<std::string>& env = {}, bool viaParent = false, const std::vector<int>& ignored = {});
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();  // kills what is still running

    pid_t pid() const { return pid_; }
    void write(const std::string& bytes);
    void closeInput();
    void signal(int signalNumber);
    void killParent();
    // Waits until the program's main thread sleeps in a kernel wait whose name holds `wait`
    // ("nanosleep": a polling loop between looks; "pipe_read": a blocking read of standard input);
    // where the system does not say what a thread waits in, waits a second instead.
    void awaitSleep(const std::string& wait, double timeoutSeconds = 10);
    // The next line of standard output without its line feed; nothing at end or time-out.
    std::optional<std::string> readLine(double timeoutSeconds = 10);
    // Up to `count` bytes of standard output (fewer at end of output or time-out).
    std::string readBytes(size_t count, double timeoutSeconds = 10);
    void closeOutput();  // the reader of standard output goes away
    // Shrinks the standard output pipe to `bytes` (a Mac's pipe holds 16 KiB, Linux's 64 KiB).
    void shrinkOutput(int bytes);
    // Waits for the end; the exit status (128 + signal when killed), nothing on time-out.
    std::optional<int> wait(double timeoutSeconds = 10);
    // What is left on standard output after the end (or what is there after a timed-out wait).
    std::string restOfOutput();
    std::string error();

private:
    pid_t pid_ = -1;
    pid_t parent_ = 0;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string outBuffer_, errBuffer_;
    std::optional<int> status_;
    // Reads standard output until it holds `count` bytes (or a line feed), ends or time runs out.
    void fill(size_t count, double timeoutSeconds, bool toLineFeed);
};

// The signals process `pid` ignores, bit n - 1 for signal n (`SigIgn` of /proc/PID/status).
std::uint64_t ignoredSignals(pid_t pid);

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A machine file and a call log in a folder of their own.
class Machine {
public:
    explicit Machine(const nlohmann::json& description);
    const std::string& path() const { return path_; }
    const std::string& logPath() const { return log_; }
    // SORVANE_MACHINE and SORVANE_MACHINE_LOG for a child's environment.
    std::vector<std::string> env() const;
    nlohmann::json state() const;            // the machine file as it stands now
    void write(const nlohmann::json& description);  // replace the machine (unplug a device ...)
    std::vector<nlohmann::json> log() const;  // every call log line so far
    // The log lines of that function, from line `from` on.
    std::vector<nlohmann::json> calls(const std::string& fn, std::size_t from = 0) const;
    // True when the log ends with a run's exit line: nothing released twice and, with `allReleased`,
    // no string left alive.
    bool endedClean(bool allReleased = true) const;
    void clearLog();

private:
    TempDir dir_;
    std::string path_, log_;
};

// Whole-file helpers.
std::optional<std::string> readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool exists(const std::string& path);

}  // namespace harness
