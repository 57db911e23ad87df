#include "harness/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

Clock::time_point after(double seconds) { return Clock::now() + std::chrono::round<Clock::duration>(Seconds(seconds)); }

double remaining(Clock::time_point deadline) { return Seconds(deadline - Clock::now()).count(); }

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int decode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::vector<char*> cStrings(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const auto& s : strings) {
        pointers.push_back(const_cast<char*>(s.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// One non-blocking read of up to `limit` bytes into `buffer`; closes `fd` at its end.
ssize_t pump(int& fd, std::string& buffer, size_t limit = SIZE_MAX) {
    if (fd < 0) {
        return 0;
    }
    char bytes[65536];
    ssize_t n = ::read(fd, bytes, std::min(sizeof bytes, limit));
    if (n > 0) {
        buffer.append(bytes, static_cast<size_t>(n));
    } else if (n == 0) {
        closeFd(fd);
    }
    return n;
}

}  // namespace

std::uint64_t ignoredSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigIgn:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
    }
    return 0;
}

std::string program(const std::string& name) { return std::string(SORVANE_BIN_DIR) + "/" + name; }

std::vector<std::string> Result::outLines() const { return splitLines(out); }

Child::Child(const std::string& programPath, const std::vector<std::string>& args, const std::vector<std::string>& env,
             bool viaParent, const std::vector<int>& ignored) {
    // Adopt orphaned grandchildren, so their end can still be waited for; once, whichever thread starts.
    [[maybe_unused]] static const bool once = (prctl(PR_SET_CHILD_SUBREAPER, 1), ::signal(SIGPIPE, SIG_IGN), true);
    int inPipe[2], outPipe[2], errPipe[2], pidPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) ||
        pipe2(pidPipe, O_CLOEXEC)) {
        throw std::runtime_error("pipe");
    }
    std::vector<std::string> argv = {programPath}, environment = env;  // the first entry of a name counts
    argv.insert(argv.end(), args.begin(), args.end());
    for (char** e = environ; *e; ++e) {
        environment.push_back(*e);
    }
    auto argvC = cStrings(argv), envC = cStrings(environment);  // made before the fork: no allocation after it
    pid_t first = fork();
    if (first == 0) {
        // Only the program holds the pipe ends: not the intermediate, nor a program that another
        // thread of the test starts at the same moment.
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != pidPipe[1]) close(fd);  // that one closes on exec
        }
        // The test ignores SIGPIPE; the program starts with the default dispositions.
        ::signal(SIGPIPE, SIG_DFL);
        for (int number : ignored) ::signal(number, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        pid_t grandchild = viaParent ? fork() : 0;
        if (grandchild == 0) {
            execve(argvC[0], argvC.data(), envC.data());
            _exit(127);
        }
        (void)!::write(pidPipe[1], &grandchild, sizeof grandchild);
        for (int fd = 0; fd < 1024; ++fd) {
            close(fd);
        }
        int status = 0;  // nothing here handles a signal, so the wait is never interrupted
        waitpid(grandchild, &status, 0);
        _exit(decode(status));
    }
    for (int fd : {inPipe[0], outPipe[1], errPipe[1], pidPipe[1]}) {
        close(fd);
    }
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    pid_ = first;
    if (viaParent) {
        parent_ = first;
        if (::read(pidPipe[0], &pid_, sizeof pid_) != sizeof pid_) {
            throw std::runtime_error("no program pid");
        }
    }
    close(pidPipe[0]);
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
    if (!status_) {
        kill(pid_, SIGKILL);  // an intermediate then ends by itself
        wait(5);
    }
    closeFd(in_);
    closeFd(out_);
    closeFd(err_);
}

void Child::write(const std::string& bytes) {
    // The test catches no signals, so a write to the pipe is whole unless the program closed its end.
    (void)!::write(in_, bytes.data(), bytes.size());
}

void Child::closeInput() { closeFd(in_); }

void Child::closeOutput() { closeFd(out_); }

void Child::shrinkOutput(int bytes) { fcntl(out_, F_SETPIPE_SZ, bytes); }

void Child::signal(int signalNumber) { kill(pid_, signalNumber); }

void Child::killParent() {
    // Not before the program has started: both take note of their parent before their first
    // platform call, at which the platform starts a thread of its own.
    const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
    for (auto deadline = after(10); remaining(deadline) > 0; usleep(1000)) {
        std::error_code error;
        auto listing = std::filesystem::directory_iterator(tasks, error);
        if (error || std::distance(listing, std::filesystem::directory_iterator()) >= 2) break;
    }
    if (parent_ > 0) {
        kill(parent_, SIGKILL);
        waitpid(parent_, nullptr, 0);
        parent_ = -1;
    }
}

void Child::awaitSleep(const std::string& wait, double timeoutSeconds) {
    for (auto deadline = after(timeoutSeconds); remaining(deadline) > 0; usleep(1000)) {
        const std::string wchan = readFile("/proc/" + std::to_string(pid_) + "/wchan").value_or("");
        if (wchan.empty() || wchan == "0") {
            usleep(1000000);
            return;
        }
        if (wchan.find(wait) != std::string::npos) {
            return;
        }
    }
}

void Child::fill(size_t count, double timeoutSeconds, bool toLineFeed) {
    auto deadline = after(timeoutSeconds);
    while (outBuffer_.size() < count && (!toLineFeed || outBuffer_.find('\n') == std::string::npos) && out_ >= 0 &&
           remaining(deadline) > 0) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(fds, err_ >= 0 ? 2 : 1, static_cast<int>(remaining(deadline) * 1000) + 1);
        error();
        pump(out_, outBuffer_, count - outBuffer_.size());
    }
}

std::optional<std::string> Child::readLine(double timeoutSeconds) {
    fill(SIZE_MAX, timeoutSeconds, true);
    auto newline = outBuffer_.find('\n');
    if (newline == std::string::npos) {
        return std::nullopt;
    }
    std::string line = outBuffer_.substr(0, newline);
    outBuffer_.erase(0, newline + 1);
    return line;
}

std::string Child::readBytes(size_t count, double timeoutSeconds) {
    fill(count, timeoutSeconds, false);
    std::string bytes = outBuffer_.substr(0, std::min(count, outBuffer_.size()));
    outBuffer_.erase(0, bytes.size());
    return bytes;
}

std::optional<int> Child::wait(double timeoutSeconds) {
    auto deadline = after(timeoutSeconds);
    while (!status_) {
        // While the intermediate lives it reports the program's status as its own.
        int status = 0;
        pid_t target = parent_ > 0 ? parent_ : pid_, r = waitpid(target, &status, WNOHANG);
        if (r == target) {
            status_ = decode(status);
            parent_ = -1;
        } else if (remaining(deadline) <= 0) {
            return std::nullopt;
        } else {
            error();  // keep the pipes flowing so a chatty program cannot block on them
            pump(out_, outBuffer_);
            usleep(2000);
        }
    }
    return status_;
}

std::string Child::restOfOutput() {
    // Nothing to read now means either a program still running after a timed-out wait or a pipe
    // someone else still holds: what came so far is the answer either way. A program still
    // writing is cut off after a few seconds.
    for (auto deadline = after(5); pump(out_, outBuffer_) > 0 && remaining(deadline) > 0;) {
    }
    return std::exchange(outBuffer_, {});
}

std::string Child::error() {
    while (pump(err_, errBuffer_) > 0) {
    }
    return errBuffer_;
}

Result run(const std::string& programPath, const std::vector<std::string>& args, const Options& options) {
    Child child(programPath, args, options.env);
    child.write(options.input.value_or(""));
    child.closeInput();
    if (!child.wait(options.timeoutSeconds)) {
        child.signal(SIGKILL);
    }
    return {child.wait(5).value_or(-1), child.restOfOutput(), child.error()};  // in this order
}

TempDir::TempDir() {
    path_ = std::filesystem::temp_directory_path() / "sorvane-test-XXXXXX";
    if (!mkdtemp(path_.data())) {
        throw std::runtime_error("mkdtemp");
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Machine::Machine(const nlohmann::json& description) : path_(dir_.file("machine.json")), log_(dir_.file("calls.log")) {
    write(description);
}

std::vector<std::string> Machine::env() const {
    return {"SORVANE_MACHINE=" + path_, "SORVANE_MACHINE_LOG=" + log_};
}

nlohmann::json Machine::state() const {
    auto text = readFile(path_);
    return text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
}

void Machine::write(const nlohmann::json& description) {
    writeFile(path_ + ".new", description.dump());
    std::rename((path_ + ".new").c_str(), path_.c_str());
}

std::vector<nlohmann::json> Machine::log() const {
    std::vector<nlohmann::json> lines;
    for (const auto& line : splitLines(readFile(log_).value_or(""))) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
}

std::vector<nlohmann::json> Machine::calls(const std::string& fn, std::size_t from) const {
    std::vector<nlohmann::json> lines = log(), found;
    for (std::size_t i = from; i < lines.size(); ++i) {
        // Each run's first call tells the platform how to deliver notifications: not a machine change.
        if (lines[i].is_object() && lines[i].value("fn", "") == fn && lines[i].value("selector", "") != "rnlp") {
            found.push_back(lines[i]);
        }
    }
    return found;
}

bool Machine::endedClean(bool allReleased) const {
    auto lines = log();
    return !lines.empty() && lines.back().is_object() && lines.back().value("fn", "") == "exit" &&
           lines.back().value("overReleases", -1) == 0 && (!allReleased || lines.back().value("stringsAlive", -1) == 0);
}

void Machine::clearLog() { std::remove(log_.c_str()); }

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::optional(std::string(std::istreambuf_iterator<char>(file), {})) : std::nullopt;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace harness
