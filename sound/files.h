// The settings folder and its files, each replaced whole through a temporary file and a rename.
#pragma once

#include "sound/settings.h"
#include "sound/unsettled.h"

#include <filesystem>
#include <optional>
#include <string>

namespace sound {

struct Files {
    std::filesystem::path dir;

    std::filesystem::path sorvane() const { return dir / "sorvane.json"; }
    std::filesystem::path snapshot() const { return dir / "snapshot.json"; }
    std::filesystem::path mark() const { return dir / "switched"; }

    // The record in the file; nothing when the file is missing, unreadable or not a record, and
    // when it is a link, unless it is the host's settings file.
    std::optional<Settings> load(const std::filesystem::path& file) const;
    // The snapshot with the changes it notes as unsettled; nothing as for `load`.
    std::optional<std::pair<Settings, Unsettled>> loadSnapshot() const;
    // Writes the snapshot, noting the unsettled changes when there are any; false as for `save`.
    bool saveSnapshot(const Settings& settings, const Unsettled& unsettled) const;
    // True when the switch mark is in the folder: a regular file, not a link.
    bool marked() const;
    // Writes the record's JSON form; false, touching nothing, when it cannot be encoded.
    bool save(const Settings& settings, const std::filesystem::path& file) const;
    // Replaces the file with the bytes atomically; false when that failed.
    bool write(const std::string& bytes, const std::filesystem::path& file) const;
};

// The folder after the first `option` on the command line, created if missing. Fails with
// option + " needs a folder" when the option is missing or last.
Files files(const std::string& option);

}  // namespace sound
