#include "sim/call_log.h"

#include "sim/cf_objects.h"
#include "sim/machine_file.h"
#include "sim/notifications.h"
#include "sim/state.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace sim::log {

namespace {

struct Log {
    std::mutex mutex;  // guards opening; lines go out without it, one write each
    bool opened = false;
    std::atomic<int> fd{-1};
    bool exitLineArranged = false;
};

// Leaked on purpose: the exit line is written from atexit, after static objects may be gone.
Log& theLog() {
    static Log* log = new Log;
    return *log;
}

void append(int fd, const std::string& line) {
    // One write per line: O_APPEND keeps whole lines whole across threads and processes.
    ssize_t n;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
}

// The four-character text of a code ('outp' → "outp").
std::string fourCC(UInt32 code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        text[std::size_t(i)] = char((code >> (24 - 8 * i)) & 0xFF);
    }
    return text;
}

std::string textOf(const Entry& entry) {
    return entry.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
}

void writeExitLine() {
    // No lock: another thread may be anywhere when the process ends. Lines after this one are
    // dropped, so it stays the last.
    const int fd = theLog().fd.exchange(-1);
    if (fd < 0) return;
    Entry entry = call("exit");
    entry["stringsAlive"] = cf::stringsAlive();
    entry["overReleases"] = cf::overReleases();
    append(fd, textOf(entry));
}

// The log's descriptor, opened on first use; -1 when no log was asked for.
int openedLog(Log& log) {
    std::lock_guard<std::mutex> hold(log.mutex);
    if (log.opened) return log.fd.load();
    log.opened = true;
    const char* path = std::getenv("SORVANE_MACHINE_LOG");
    if (path == nullptr || *path == '\0') return -1;
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        setupError(std::string("call log ") + path + " cannot be opened");
    }
    log.fd = fd;
    if (!log.exitLineArranged) {
        log.exitLineArranged = true;
        std::atexit(writeExitLine);
    }
    return fd;
}

// "delays": a Core Audio call named there returns only once it has taken that long, its effect
// done and its line logged, so that a test can see it begin and act while it lasts.
void takeItsTime(const Entry& entry) {
    const auto fn = entry.find("fn");
    if (fn == entry.end() || !fn->is_string() || fn->get_ref<const std::string&>().rfind("Audio", 0) != 0) return;
    double ms = 0;
    {
        State& s = state();
        std::lock_guard<std::mutex> hold(s.mutex);
        const auto& delays = s.machine().delays;
        const auto found = delays.find(fn->get_ref<const std::string&>());
        if (found == delays.end()) return;
        ms = found->second;
    }
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace

Entry call(const char* fn) {
    Entry entry = Entry::object();
    entry["fn"] = fn;
    return entry;
}

Entry property(const char* fn, AudioObjectID object, const AudioObjectPropertyAddress* address) {
    Entry entry = call(fn);
    entry["object"] = object;
    if (address != nullptr) {
        entry["selector"] = fourCC(address->mSelector);
        entry["scope"] = fourCC(address->mScope);
        entry["element"] = address->mElement;
    }
    return entry;
}

void write(const Entry& entry) {
    // Every platform call is logged, so this is where a call that touches no state starts the thread.
    notify::begin();
    const int fd = openedLog(theLog());
    if (fd >= 0) {
        append(fd, textOf(entry));
    }
    takeItsTime(entry);
}

void reopen() {
    Log& log = theLog();
    std::lock_guard<std::mutex> hold(log.mutex);
    const int fd = log.fd.exchange(-1);
    if (fd >= 0) ::close(fd);
    log.opened = false;
}

}  // namespace sim::log
