// What the fuzz programs share: argument vectors from bytes, invariants that abort, scratch files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fuzz {

// The bytes as an argument vector, split where a NUL would end a C string; a last NUL ends the
// last argument rather than starting an empty one.
inline std::vector<std::string> arguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    std::string piece;
    bool open = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(piece);
            piece.clear();
            open = false;
        } else {
            piece.push_back(static_cast<char>(data[i]));
            open = true;
        }
    }
    if (open) {
        args.push_back(piece);
    }
    return args;
}

// A broken invariant is a crash for the fuzzer, with the reason on standard error.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// A fresh folder for one fuzz program's files, on a memory file system where there is one so
// that the syncs of the settings files cost nothing. Removed with its files at exit.
inline std::string scratchFolder() {
    // Never destroyed: the exit handler registered while it is made would run after its destructor.
    static const std::string& made = *new std::string([] {
        std::string path = (::access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm")
                                                            : std::filesystem::temp_directory_path().string()) +
                           "/sorvane-fuzz-XXXXXX";
        require(::mkdtemp(path.data()) != nullptr, "scratch folder made");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return path;
    }());
    return made;
}

// Writes the whole file or aborts: the fuzz program cannot run without it.
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    file.close();
    require(!file.fail(), "scratch file written");
}

}  // namespace fuzz
