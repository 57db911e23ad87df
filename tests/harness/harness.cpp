#include "harness/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> entries;
    std::vector<std::string> order;
    auto add = [&](const std::string& entry) {
        auto name = entry.substr(0, entry.find('='));
        if (!entries.count(name)) {
            order.push_back(name);
        }
        entries[name] = entry;
    };
    for (char** e = environ; *e; ++e) {
        add(*e);
    }
    for (const auto& e : extra) {
        add(e);
    }
    std::vector<std::string> result;
    for (const auto& name : order) {
        result.push_back(entries[name]);
    }
    return result;
}

int decode(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

// Becomes the adopter of orphaned grandchildren, so their end can still be waited for.
// Once, also when tests start children from several threads at the same moment.
void becomeSubreaper() {
    static const bool done = [] {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

[[noreturn]] void execProgram(const std::string& path, const std::vector<std::string>& args,
                              const std::vector<std::string>& env, int in, int out, int err) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (int fd = 3; fd < 1024; ++fd) {
        close(fd);
    }
    // The test ignores SIGPIPE; the program starts with the default dispositions.
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
}

double remaining(Clock::time_point deadline) {
    return std::chrono::duration<double>(deadline - Clock::now()).count();
}

}  // namespace

std::string program(const std::string& name) { return std::string(SORVANE_BIN_DIR) + "/" + name; }

std::vector<std::string> Result::outLines() const { return splitLines(out); }

Child::Child(const std::string& programPath, const std::vector<std::string>& args, const std::vector<std::string>& env,
             bool viaParent) {
    becomeSubreaper();
    int inPipe[2], outPipe[2], errPipe[2], pidPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) ||
        pipe2(pidPipe, O_CLOEXEC)) {
        throw std::runtime_error("pipe");
    }
    auto environment = mergedEnvironment(env);
    pid_t first = fork();
    if (first == 0) {
        if (!viaParent) {
            execProgram(programPath, args, environment, inPipe[0], outPipe[1], errPipe[1]);
        }
        pid_t grandchild = fork();
        if (grandchild == 0) {
            execProgram(programPath, args, environment, inPipe[0], outPipe[1], errPipe[1]);
        }
        // The intermediate keeps no pipe ends, so only the program holds them; that includes the
        // pipes of programs that other threads of the test were starting at the same moment.
        (void)!::write(pidPipe[1], &grandchild, sizeof grandchild);
        for (int fd = 3; fd < 1024; ++fd) {
            close(fd);
        }
        int status = 0;
        while (waitpid(grandchild, &status, 0) < 0 && errno == EINTR) {
        }
        int code = decode(status);
        _exit(code < 0 ? 255 : code);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    close(pidPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (viaParent) {
        parent_ = first;
        pid_t grandchild = -1;
        if (::read(pidPipe[0], &grandchild, sizeof grandchild) != sizeof grandchild) {
            throw std::runtime_error("no program pid");
        }
        pid_ = grandchild;
    } else {
        pid_ = first;
    }
    close(pidPipe[0]);
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
    if (!status_) {
        kill(pid_, SIGKILL);
        if (parent_ > 0) {
            kill(parent_, SIGKILL);
        }
        wait(5);
    }
    if (parent_ > 0) {
        waitpid(parent_, nullptr, WNOHANG);
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Child::write(const std::string& bytes) {
    size_t done = 0;
    while (in_ >= 0 && done < bytes.size()) {
        ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
}

void Child::closeInput() {
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
}

void Child::closeOutput() {
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

void Child::signal(int signalNumber) { kill(pid_, signalNumber); }

void Child::killParent() {
    if (parent_ > 0) {
        kill(parent_, SIGKILL);
        waitpid(parent_, nullptr, 0);
        parent_ = -1;
    }
}

void Child::awaitSleep(const std::string& wait, double timeoutSeconds) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    std::string path = "/proc/" + std::to_string(pid_) + "/wchan";
    while (remaining(deadline) > 0) {
        std::ifstream in(path);
        std::string wchan;
        if (!std::getline(in, wchan) || wchan.empty() || wchan == "0") {
            usleep(1000000);
            return;
        }
        if (wchan.find(wait) != std::string::npos) {
            return;
        }
        usleep(1000);
    }
}

void Child::drainError() {
    char buffer[4096];
    while (err_ >= 0) {
        ssize_t n = ::read(err_, buffer, sizeof buffer);
        if (n > 0) {
            errBuffer_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) {
            close(err_);
            err_ = -1;
        }
        break;
    }
}

ssize_t Child::readOutput(size_t limit) {
    if (out_ < 0) {
        return 0;
    }
    char buffer[65536];
    ssize_t n = ::read(out_, buffer, std::min(sizeof buffer, limit));
    if (n > 0) {
        outBuffer_.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
        close(out_);
        out_ = -1;
    }
    return n;
}

std::optional<std::string> Child::readLine(double timeoutSeconds) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (true) {
        auto newline = outBuffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = outBuffer_.substr(0, newline);
            outBuffer_.erase(0, newline + 1);
            return line;
        }
        if (out_ < 0) {
            return std::nullopt;
        }
        double left = remaining(deadline);
        if (left <= 0) {
            return std::nullopt;
        }
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(fds, err_ >= 0 ? 2 : 1, static_cast<int>(left * 1000) + 1);
        drainError();
        readOutput(SIZE_MAX);
    }
}

std::string Child::readBytes(size_t count, double timeoutSeconds) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (outBuffer_.size() < count && out_ >= 0 && remaining(deadline) > 0) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(fds, err_ >= 0 ? 2 : 1, static_cast<int>(remaining(deadline) * 1000) + 1);
        drainError();
        readOutput(count - outBuffer_.size());
    }
    size_t take = std::min(count, outBuffer_.size());
    std::string bytes = outBuffer_.substr(0, take);
    outBuffer_.erase(0, take);
    return bytes;
}

std::optional<int> Child::wait(double timeoutSeconds) {
    if (status_) {
        return status_;
    }
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    // While the intermediate lives it reports the program's status as its own.
    pid_t target = parent_ > 0 ? parent_ : pid_;
    while (true) {
        int status = 0;
        pid_t r = waitpid(target, &status, WNOHANG);
        if (r == target) {
            status_ = decode(status);
            if (parent_ > 0) {
                parent_ = -1;
            }
            return status_;
        }
        if (r < 0 && errno == ECHILD && target == parent_) {
            target = pid_;
            continue;
        }
        // Keep the pipes flowing so a chatty program cannot block on them.
        drainError();
        readOutput(SIZE_MAX);
        if (remaining(deadline) <= 0) {
            return std::nullopt;
        }
        usleep(2000);
    }
}

std::string Child::restOfOutput() {
    // Nothing to read now means either a program still running after a timed-out wait or a pipe
    // someone else still holds: what came so far is the answer either way. A program still
    // writing is cut off after a few seconds.
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (out_ >= 0 && readOutput(SIZE_MAX) >= 0 && remaining(deadline) > 0) {
    }
    std::string rest;
    rest.swap(outBuffer_);
    return rest;
}

std::string Child::error() {
    drainError();
    return errBuffer_;
}

Result run(const std::string& programPath, const std::vector<std::string>& args, const Options& options) {
    Result result;
    Child child(programPath, args, options.env);
    if (options.input) {
        child.write(*options.input);
    }
    child.closeInput();
    auto status = child.wait(options.timeoutSeconds);
    if (!status) {
        result.timedOut = true;
        child.signal(SIGKILL);
        status = child.wait(5);
    }
    result.status = status.value_or(-1);
    result.out = child.restOfOutput();
    result.err = child.error();
    return result;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sorvane-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        throw std::runtime_error("mkdtemp");
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only folders behind; open them up before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            chmod(it->path().c_str(), 0700);
        }
    }
    chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ignored);
}

Machine::Machine(const nlohmann::json& description) {
    path_ = dir_.file("machine.json");
    log_ = dir_.file("calls.log");
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
    std::string temporary = path_ + ".new";
    writeFile(temporary, description.dump());
    std::rename(temporary.c_str(), path_.c_str());
}

std::vector<nlohmann::json> Machine::log() const {
    std::vector<nlohmann::json> lines;
    auto text = readFile(log_);
    if (!text) {
        return lines;
    }
    for (const auto& line : splitLines(*text)) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
}

void Machine::clearLog() { std::remove(log_.c_str()); }

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace harness
