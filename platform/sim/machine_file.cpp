#include "sim/machine_file.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace sim {

namespace {

// Another program may be rewriting the file in place (not every editor renames); a text that is
// not JSON yet is given this long to become whole before it counts as broken.
constexpr int parseAttempts = 25;
constexpr auto parseRetryPause = std::chrono::milliseconds(10);

// File times move in clock ticks of a few milliseconds, so a file changed within a tick of our
// last read may keep its stamp; until it is older than this, its text is compared too.
constexpr long long timestampGrain = 100'000'000;  // nanoseconds

long long wallClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

std::optional<std::string> readAll(int fd) {
    std::string text;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(buffer, std::size_t(n));
    }
}

// Holds an exclusive flock on PATH.lock for its lifetime.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes `text` to a new file beside `path` and renames it over `path`; the new file's descriptor
// stays open in `fd` so the caller can take its stamp. False when any step failed.
bool replaceFile(const std::string& path, const std::string& text, mode_t mode, int& fd) {
    static unsigned counter = 0;
    const std::string temporary = folderOf(path) + "/." + baseOf(path) + "." + std::to_string(::getpid()) + "." +
                                  std::to_string(++counter) + ".tmp";
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    if (!writeAll(fd, text) || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

// A small studio: enough to run every mode of both programs by hand.
constexpr const char* builtIn = R"({
  "system": "15.0",
  "defaultOutput": "BuiltInSpeakerDevice",
  "defaultInput": "BuiltInMicrophoneDevice",
  "devices": [
    {
      "uid": "BuiltInSpeakerDevice",
      "name": "Built-in Speakers",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000], [88200, 96000]],
      "output": [2],
      "volume": {"0": 0.75}
    },
    {
      "uid": "StudioInterface",
      "name": "Studio Interface",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000], [88200, 88200], [96000, 96000]],
      "output": [2, 8],
      "input": [2],
      "layout": "AgBlAAAAAAAAAAAA",
      "volume": {"1": 1.0, "2": 1.0, "3": 0.8, "4": 0.8, "5": 0.8, "6": 0.8, "7": 0.8, "8": 0.8, "9": 0.5, "10": 0.5}
    },
    {
      "uid": "BuiltInMicrophoneDevice",
      "name": "Built-in Microphone",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000]],
      "input": [1]
    }
  ],
  "processes": [
    {"pid": 4101, "bundleId": "com.example.music", "playing": true, "devices": ["BuiltInSpeakerDevice"], "level": 0.5},
    {"pid": 4202, "bundleId": "com.example.browser", "playing": false, "devices": ["BuiltInSpeakerDevice"], "level": 0.25},
    {"pid": 4203, "bundleId": "com.example.browser.helper", "playing": true, "devices": ["BuiltInSpeakerDevice"], "level": 0.25}
  ],
  "apps": [
    {"pid": 4101, "bundleId": "com.example.music", "name": "Music", "policy": 0},
    {"pid": 4202, "bundleId": "com.example.browser", "name": "Browser", "policy": 0}
  ],
  "tap": {"clock": "realtime"}
}
)";

std::string documentText(const Document& document) {
    return document.dump(2, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
}

}  // namespace

void setupError(const std::string& what) {
    const std::string line = "simulated machine: " + what + "\n";
    writeAll(2, line);
    std::_Exit(3);
}

std::string chooseMachinePath() {
    if (const char* chosen = std::getenv("SORVANE_MACHINE"); chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const std::string path = folder + "/sorvane-machine-" + std::to_string(::getuid()) + ".json";
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return path;
    }
    const FileLock lock(path);
    if (!lock.held()) {
        setupError(path + ": cannot lock it to create the built-in machine");
    }
    if (::stat(path.c_str(), &info) != 0) {
        int fd = -1;
        if (!replaceFile(path, builtIn, 0644, fd)) {
            setupError(path + ": cannot create the built-in machine");
        }
        ::close(fd);
    }
    return path;
}

std::optional<MachineFile::Stamp> MachineFile::stampOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    Stamp s;
    s.device = info.st_dev;
    s.inode = info.st_ino;
    s.size = info.st_size;
    s.modified = (long long)info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    s.changed = (long long)info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec;
    return s;
}

std::optional<MachineFile::Stamp> MachineFile::stampOfPath() const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const auto stamp = stampOf(fd);
    ::close(fd);
    return stamp;
}

MachineFile::Loaded MachineFile::load(const std::string* unchanged) const {
    for (int attempt = 1;; ++attempt) {
        const long long readAt = wallClock();
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            setupError(path_ + ": cannot be read (" + std::string(std::strerror(errno)) + ")");
        }
        const auto stamp = stampOf(fd);
        const auto text = readAll(fd);
        ::close(fd);
        if (!stamp || !text) {
            setupError(path_ + ": cannot be read");
        }
        if (unchanged != nullptr && *text == *unchanged) {
            Loaded same;
            same.stamp = *stamp;
            same.text = *text;
            same.readAt = readAt;
            return same;
        }
        Document document = Document::parse(*text, nullptr, false);
        if (document.is_discarded()) {
            if (attempt < parseAttempts) {
                std::this_thread::sleep_for(parseRetryPause);
                continue;
            }
            setupError(path_ + ": is not valid JSON");
        }
        auto machine = readMachine(document);
        if (auto* problem = std::get_if<std::string>(&machine)) {
            setupError(path_ + ": " + *problem);
        }
        return Loaded{std::move(std::get<Machine>(machine)), std::move(document), *stamp, *text, readAt};
    }
}

const Machine& MachineFile::current() {
    const auto now = stampOfPath();
    const bool racy = stamp_.modified + timestampGrain >= readAt_ || stamp_.changed + timestampGrain >= readAt_;
    if (!machine_) {
        remember(load());
    } else if (!now || !(*now == stamp_) || racy) {
        Loaded loaded = load(&text_);
        if (loaded.text == text_) {
            stamp_ = loaded.stamp;
            readAt_ = loaded.readAt;
        } else {
            remember(std::move(loaded));
        }
    }
    return *machine_;
}

void MachineFile::remember(Loaded loaded) {
    machine_ = std::move(loaded.machine);
    stamp_ = loaded.stamp;
    text_ = std::move(loaded.text);
    readAt_ = loaded.readAt;
}

OSStatus MachineFile::update(const std::function<OSStatus(const Machine&, Document&)>& change) {
    const FileLock lock(path_);
    if (!lock.held()) {
        return kAudioHardwareUnspecifiedError;
    }
    Loaded loaded = load();
    const OSStatus status = change(loaded.machine, loaded.document);
    if (status != 0) {
        return status;
    }
    auto edited = readMachine(loaded.document);
    if (!std::holds_alternative<Machine>(edited)) {
        return kAudioHardwareUnspecifiedError;  // an edit must keep the file a machine; refuse it
    }
    struct stat info {};
    const mode_t mode = ::stat(path_.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    int fd = -1;
    const long long writtenAt = wallClock();
    std::string text = documentText(loaded.document);
    if (!replaceFile(path_, text, mode, fd)) {
        return kAudioHardwareUnspecifiedError;
    }
    // The stamp of the file we wrote, not of the path: if someone replaces it right after our
    // rename, the next look sees a different stamp and reads theirs.
    const auto stamp = stampOf(fd);
    ::close(fd);
    machine_ = std::move(std::get<Machine>(edited));
    stamp_ = stamp ? *stamp : Stamp{};
    text_ = std::move(text);
    readAt_ = writtenAt;
    return 0;
}

}  // namespace sim
