// The settings folder end to end: files replaced whole, planted links and FIFOs, size limits,
// and what a failed write leaves behind.
#include "tests/sound/folder_modes.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace folder_test;
namespace fs = std::filesystem;

const std::string precious = "someone else's file";

bool isRegularFile(const std::string& path) { return fs::is_regular_file(fs::symlink_status(path)); }

TEST(Files, PlantedLinksAtTemporaryNamesAreNotFollowed) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir, outside;
    harness::writeFile(outside.file("victim"), precious);
    for (const char* name : {".sorvane.json.tmp", ".snapshot.json.tmp"}) {
        fs::create_symlink(outside.file("victim"), dir.file(name));
    }
    // A dangling link must not create the file it names either.
    fs::create_symlink(outside.file("created"), dir.file(".switched.tmp"));

    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    EXPECT_EQ(harness::readFile(outside.file("victim")), precious);
    EXPECT_TRUE(isRegularFile(dir.file("sorvane.json")));
    auto saved = json::parse(harness::readFile(dir.file("sorvane.json")).value_or(""), nullptr, false);
    EXPECT_EQ(saved, studioWanted());

    json before = soundState(machine);
    auto round = switchAndRestore(machine, dir.path());
    EXPECT_EQ(round.switched.value("snapshot", ""), "taken");
    EXPECT_EQ(round.status, 0);
    EXPECT_EQ(soundState(machine), before);
    EXPECT_EQ(harness::readFile(outside.file("victim")), precious);
    EXPECT_FALSE(harness::exists(outside.file("created")));
    EXPECT_TRUE(isRegularFile(dir.file("snapshot.json")));
    auto snapshot = json::parse(harness::readFile(dir.file("snapshot.json")).value_or(""), nullptr, false);
    EXPECT_EQ(snapshot.value("output", json()).value("uid", ""), "spk");
    for (const char* name : {".sorvane.json.tmp", ".snapshot.json.tmp", ".switched.tmp"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file(name)))) << name;
    }
}

TEST(Files, LeftoverTemporaryFileIsReplaced) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    harness::writeFile(dir.file(".sorvane.json.tmp"), std::string(5000, 'x'));
    ASSERT_TRUE(saveSettings(machine, dir.path(), {{"output", {{"uid", "spk"}}}}));
    EXPECT_EQ(harness::readFile(dir.file("sorvane.json")), R"({"output":{"uid":"spk"}})");
    EXPECT_FALSE(harness::exists(dir.file(".sorvane.json.tmp")));
}

TEST(Files, FailedRenameLeavesTheOldFileAndTheTemporaryOne) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    // A folder in the snapshot's place cannot be renamed over.
    fs::create_directories(dir.file("snapshot.json/inside"));
    json before = soundState(machine);
    auto result = sound(machine, {"--switch", dir.path()}, "restore\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine("couldn't keep your settings, so nothing was changed"));
    EXPECT_EQ(soundState(machine), before);
    EXPECT_FALSE(harness::exists(dir.file("switched")));
    auto left = json::parse(harness::readFile(dir.file(".snapshot.json.tmp")).value_or(""), nullptr, false);
    EXPECT_EQ(left.value("output", json()).value("uid", ""), "spk");

    fs::remove_all(dir.file("snapshot.json"));
    auto round = switchAndRestore(machine, dir.path());
    EXPECT_EQ(round.status, 0);
    EXPECT_FALSE(harness::exists(dir.file(".snapshot.json.tmp")));
    EXPECT_TRUE(isRegularFile(dir.file("snapshot.json")));
    EXPECT_EQ(soundState(machine), before);
}

TEST(Files, WritesThatFailStopTheRunBeforeAnyChange) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* blocked;  // a folder in this file's place
        std::string message;
    };
    const Case cases[] = {
        {"settings", {"--save"}, "sorvane.json", "couldn't keep Sorvane's settings"},
        {"mark", {"--switch"}, "switched", "couldn't mark the switch, so nothing was changed"},
    };
    for (const auto& c : cases) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        if (c.args[0] == "--switch") {
            ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
        }
        fs::create_directories(dir.file(c.blocked) + "/inside");
        json before = soundState(machine);
        auto args = c.args;
        args.push_back(dir.path());
        auto result = sound(machine, args, studioWanted().dump() + "\nrestore\n");
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, errorLine(c.message)) << c.what;
        EXPECT_EQ(soundState(machine), before) << c.what;
    }
}

TEST(Files, FifoInPlaceOfAFileIsNotRead) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("snapshot.json").c_str(), 0600), 0);
    auto restored = sound(machine, {"--restore", dir.path()}, std::nullopt, 5);
    EXPECT_FALSE(restored.timedOut);
    EXPECT_EQ(restored.status, 0);
    EXPECT_EQ(restored.out, restoredReport({}, {"no snapshot to put back"}).dump() + "\n");

    ASSERT_EQ(mkfifo(dir.file("sorvane.json").c_str(), 0600), 0);
    auto switched = sound(machine, {"--switch", dir.path()}, "restore\n", 5);
    EXPECT_FALSE(switched.timedOut);
    EXPECT_EQ(switched.out, errorLine("Sorvane's sound isn't set up yet"));

    // Nor through a link.
    harness::TempDir other;
    fs::create_symlink(dir.file("snapshot.json"), other.file("snapshot.json"));
    auto linked = sound(machine, {"--restore", other.path()}, std::nullopt, 5);
    EXPECT_FALSE(linked.timedOut);
    EXPECT_EQ(linked.out, restoredReport({}, {"no snapshot to put back"}).dump() + "\n");
}

TEST(Files, LinkToARegularFileIsRead) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir, elsewhere;
    harness::writeFile(elsewhere.file("mine.json"), studioWanted().dump());
    fs::create_symlink(elsewhere.file("mine.json"), dir.file("sorvane.json"));
    auto round = switchAndRestore(machine, dir.path());
    EXPECT_EQ(round.switched.value("type", ""), "switched");
    EXPECT_EQ(round.status, 0);
}

// Settings padded with spaces to an exact size: up to 1 MiB is read, beyond it is not.
TEST(Files, SettingsOverOneMebibyteAreUnreadable) {
    const std::size_t mebibyte = 1 << 20;
    std::string text = studioWanted().dump();
    for (std::size_t size : {mebibyte, mebibyte + 1}) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        harness::writeFile(dir.file("sorvane.json"), text + std::string(size - text.size(), ' '));
        auto result = sound(machine, {"--switch", dir.path()}, "restore\n");
        if (size == mebibyte) {
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(parsed(result.outLines().at(0)).value("type", ""), "switched");
        } else {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, errorLine("Sorvane's sound isn't set up yet"));
        }
    }
}

TEST(Files, SettingsLineOverOneMebibyteIsRefused) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    std::string line = studioWanted().dump();
    auto result = sound(machine, {"--save", dir.path()}, line + std::string((1 << 20) + 1 - line.size(), ' ') + "\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine("Sorvane's settings are one JSON line on stdin"));
    EXPECT_FALSE(harness::exists(dir.file("sorvane.json")));
}

}  // namespace
