// The settings folder: files replaced whole, and links and FIFOs planted in it.
#include "tests/sound/sound_runs.h"

#include <sys/stat.h>

using namespace sound_test;
namespace fs = std::filesystem;

static bool isRegularFile(const std::string& path) { return fs::is_regular_file(fs::symlink_status(path)); }

TEST(Files, TemporaryNamesAreReplacedLinksThereNotFollowed) {
    Stage stage(nullptr);
    harness::TempDir outside;
    const std::string precious = "someone else's file";
    harness::writeFile(outside.file("victim"), precious);
    for (const char* name : {".sorvane.json.tmp", ".snapshot.json.tmp"}) {
        fs::create_symlink(outside.file("victim"), stage.file(name));
    }
    // A dangling link must not create the file it names either.
    fs::create_symlink(outside.file("created"), stage.file(".switched.tmp"));

    auto saved = sound(stage.machine, {"--save", stage.dir.path()}, studioWanted().dump());
    EXPECT_EQ(saved.out, "{\"type\":\"saved\"}\n");
    EXPECT_TRUE(isRegularFile(stage.file("sorvane.json")));
    Switch run(stage);
    EXPECT_EQ(run.switched, studioSwitched);
    EXPECT_EQ(run.restore(), restoredReport(studioRestored, {}));
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_EQ(harness::readFile(outside.file("victim")), precious);
    EXPECT_FALSE(harness::exists(outside.file("created")));
    EXPECT_TRUE(isRegularFile(stage.file("snapshot.json")));
    for (const char* name : {".sorvane.json.tmp", ".snapshot.json.tmp", ".switched.tmp"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(stage.file(name)))) << name;
    }
    // A longer file left at the temporary name is replaced whole.
    harness::writeFile(stage.file(".sorvane.json.tmp"), std::string(5000, 'x'));
    EXPECT_EQ(sound(stage.machine, {"--save", stage.dir.path()}, R"({"output":{"uid":"spk"}})").status, 0);
    EXPECT_EQ(harness::readFile(stage.file("sorvane.json")), R"({"output":{"uid":"spk"}})");
    EXPECT_FALSE(harness::exists(stage.file(".sorvane.json.tmp")));
}

// A FIFO in the snapshot's place, also behind a link, is not read (reading would block); a link to
// a regular file is.
TEST(Files, OnlyRegularFilesAreRead) {
    Stage stage;
    harness::TempDir fifo, linked;
    ASSERT_EQ(mkfifo(fifo.file("snapshot.json").c_str(), 0600), 0);
    fs::create_symlink(fifo.file("snapshot.json"), linked.file("snapshot.json"));
    for (const std::string& dir : {fifo.path(), linked.path()}) {
        auto restored = sound(stage.machine, {"--restore", dir}, std::nullopt, 5);
        EXPECT_EQ(restored.out, nothingRestored) << dir;
    }
    harness::TempDir elsewhere;
    fs::rename(stage.file("sorvane.json"), elsewhere.file("mine.json"));
    fs::create_symlink(elsewhere.file("mine.json"), stage.file("sorvane.json"));
    Switch run(stage);
    EXPECT_EQ(run.switched, studioSwitched);
    EXPECT_EQ(run.restore(), restoredReport(studioRestored, {}));
}

// Only the host's settings may be a link. A snapshot or a mark behind one was planted: neither is
// read, and a switch takes a snapshot of its own and puts back what it found.
TEST(Files, SnapshotAndMarkAreNeverLinks) {
    Stage stage;
    harness::TempDir elsewhere;
    harness::writeFile(elsewhere.file("snapshot.json"), R"({"output":{"uid":"headset"}})");
    harness::writeFile(elsewhere.file("switched"), "2026-03-14T09:26:53Z");
    for (const char* name : {"snapshot.json", "switched"}) fs::create_symlink(elsewhere.file(name), stage.file(name));
    EXPECT_EQ(sound(stage.machine, {"--restore", stage.dir.path()}).out, nothingRestored);
    EXPECT_EQ(soundState(stage.machine), stage.before);
    fs::create_symlink(elsewhere.file("switched"), stage.file("switched"));  // the restore took the link away
    Switch run(stage);
    EXPECT_EQ(run.switched, studioSwitched);
    EXPECT_EQ(run.restore(), restoredReport(studioRestored, {}));
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_TRUE(isRegularFile(stage.file("snapshot.json")));
    EXPECT_EQ(harness::readFile(elsewhere.file("snapshot.json")), R"({"output":{"uid":"headset"}})");
}
