// The machine file: which one, reading it whenever it changed, and locked atomic writes.
#pragma once

#include "sim/machine.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace sim {

// SORVANE_MACHINE when set; else the built-in machine's file under ${TMPDIR:-/tmp}, created from
// the built-in description when it is missing.
std::string chooseMachinePath();

// A set-up error: "simulated machine: <what>" on standard error, then exit status 3.
[[noreturn]] void setupError(const std::string& what);

class MachineFile {
public:
    explicit MachineFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The machine as the file holds it now: read again whenever the file changed since the last
    // look. A file that cannot be read or is not a machine ends the process (set-up error).
    const Machine& current();

    // Under an exclusive lock on PATH.lock: reads the file afresh and lets `change` check and edit
    // its document. When `change` answers 0 the file is replaced by the edited document (temporary
    // file and rename). Answers `change`'s status, or 'what' when the file could not be written.
    OSStatus update(const std::function<OSStatus(const Machine&, Document&)>& change);

private:
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        long long modified = 0;  // nanoseconds
        long long changed = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Loaded {
        Machine machine;
        Document document;
        Stamp stamp;
        std::string text;
        long long readAt = 0;  // wall clock, nanoseconds
    };

    // Reads and checks the file; a set-up error when it is not a machine. With `unchanged`, a
    // text equal to it is not parsed again (`machine` and `document` stay empty).
    Loaded load(const std::string* unchanged = nullptr) const;
    void remember(Loaded loaded);
    static std::optional<Stamp> stampOf(int fd);
    std::optional<Stamp> stampOfPath() const;

    std::string path_;
    std::optional<Machine> machine_;
    Stamp stamp_;
    std::string text_;
    long long readAt_ = 0;
};

}  // namespace sim
