#include "sound/files.h"

#include "shared/arguments.h"
#include "shared/report.h"
#include "sound/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sound {

namespace {

// A settings file is a few hundred bytes; anything bigger is not ours and is not read unbounded.
constexpr off_t largestFile = 1 << 20;

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Down to the disk, not just the kernel: macOS's fsync stops at the drive's cache.
bool sync(int fd) {
#ifdef __APPLE__
    if (::fcntl(fd, F_FULLFSYNC) == 0) {
        return true;
    }
#endif
    return ::fsync(fd) == 0;
}

// Makes a rename in the folder durable. A file system that cannot sync a folder (EINVAL) has
// nothing more to offer, so that counts as done.
bool syncFolder(const std::filesystem::path& dir) {
    int fd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return false;
    }
    bool ok = sync(fd) || errno == EINVAL;
    ::close(fd);
    return ok;
}

// The whole text of a regular file of at most `largestFile` bytes; nothing otherwise.
std::optional<std::string> readRegular(const std::filesystem::path& file, bool followLink) {
    // Non-blocking so that a FIFO planted at the name cannot hold the run. Only the host's settings
    // may be a link, kept elsewhere; the files we write ourselves never are, so a link at their
    // names was planted.
    int fd = openRetrying(file.c_str(), O_RDONLY | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    bool ok = true;
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(largestFile)) {
            ok = false;  // grew while we read it
            break;
        }
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

Files files(const std::string& option) {
    auto folder = arguments::value(args, option);
    if (!folder) {
        report::fail(option + " needs a folder");
    }
    Files result{std::filesystem::path(*folder)};
    // A folder that cannot be made shows up later as failed reads and writes, reported there.
    std::error_code ignored;
    std::filesystem::create_directories(result.dir, ignored);
    return result;
}

std::optional<Settings> Files::load(const std::filesystem::path& file) const {
    auto text = readRegular(file, file == sorvane());
    return text ? decode(*text) : std::nullopt;
}

std::optional<std::pair<Settings, Unsettled>> Files::loadSnapshot() const {
    auto text = readRegular(snapshot(), false);
    auto settings = text ? decode(*text) : std::nullopt;
    if (!settings) {
        return std::nullopt;
    }
    return std::pair{*settings, unsettledIn(*text)};
}

bool Files::saveSnapshot(const Settings& settings, const Unsettled& unsettled) const {
    auto text = encode(settings);
    if (text && !unsettled.empty()) {
        text = withUnsettled(*text, unsettled);
    }
    return text && write(*text, snapshot());
}

bool Files::marked() const {
    struct stat info {};
    return ::lstat(mark().c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool Files::save(const Settings& settings, const std::filesystem::path& file) const {
    auto text = encode(settings);
    return text && write(*text, file);
}

bool Files::write(const std::string& bytes, const std::filesystem::path& file) const {
    auto temporary = dir / ("." + file.filename().string() + ".tmp");
    // Whatever sits at the temporary name goes first, a link itself and never what it points
    // to; the exclusive, non-following create then cannot be steered onto another file by
    // someone else who can write to the folder.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    int fd = openRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return false;
    }
    bool written = writeAll(fd, bytes) && sync(fd);
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        return false;  // the destination is unchanged; the temporary file stays
    }
    // Not kept until the rename itself is on the disk.
    auto folder = file.parent_path();
    return syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
}

}  // namespace sound
