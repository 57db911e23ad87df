// When the world misbehaves: devices that go away or stop taking changes before the restore, a
// settings folder that cannot be written, and every platform call failing in turn.
#include "harness/lanes.h"
#include "harness/platform_faults.h"
#include "tests/sound/sound_runs.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using namespace sound_test;

// Nothing is ever asked of object 0: it stands for "no device", not for a device.
void expectNoCallOnObjectZero(const harness::Machine& machine, const std::string& what) {
    for (const json& line : machine.log()) {
        EXPECT_NE(harness::field(line, "object"), 0) << what << ": " << line.dump();
    }
}

TEST(Faults, DeviceGoneOrReadOnlyBeforeTheRestore) {
    struct Case {
        std::string what;
        std::string uid;                     // the device changed, "" for the system
        std::vector<std::string> readOnly;   // its properties made read-only; none: the device is unplugged
        std::vector<int> lost;               // entries of studioRestored not applied
        std::vector<std::string> skipped;    // none: the lost entries themselves
        std::vector<std::string> kept;       // state left as the switch made it
    };
    const std::vector<Case> cases = {
        {"studio unplugged", "studio", {}, {0, 1, 2, 3}, {"Studio: not connected"}, {}},
        {"speakers unplugged", "spk", {}, {4}, {"the output Speakers: not connected"}, {"/defaultOutput"}},
        {"microphone unplugged", "mic", {}, {5}, {"the input Mic: not connected"}, {"/defaultInput"}},
        {"studio's rate read-only", "studio", {"nsrt"}, {0}, {}, {"/devices/studio/rate"}},
        {"studio's layout read-only", "studio", {"srnd"}, {1}, {}, {"/devices/studio/layout"}},
        {"studio's volume read-only", "studio", {"volm"}, {2, 3}, {}, {"/devices/studio/volume"}},
        {"studio wholly read-only", "studio", {"nsrt", "srnd", "volm"}, {0, 1, 2, 3}, {}, {"/devices/studio"}},
        {"default output read-only", "", {"dOut"}, {4}, {}, {"/defaultOutput"}},
        {"default input read-only", "", {"dIn "}, {5}, {}, {"/defaultInput"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> applied, skipped = c.skipped;
        for (int i = 0; i < 6; ++i) {
            bool lost = std::ranges::count(c.lost, i) > 0;
            if (!lost) applied.push_back(studioRestored[i]);
            if (lost && c.skipped.empty()) skipped.push_back(studioRestored[i]);
        }
        const std::string& what = c.what;
        Stage stage;
        Switch run(stage);
        ASSERT_EQ(harness::field(run.switched, "skipped"), json::array()) << what;
        json switched = soundState(stage.machine);
        json changed = c.readOnly.empty() ? without(stage.machine.state(), c.uid) : stage.machine.state();
        for (const auto& selector : c.readOnly) {
            if (c.uid.empty()) changed["faults"][selector] = "readonly";
            for (json& device : changed["devices"]) {
                if (device["uid"] == c.uid) device["faults"][selector] = "readonly";
            }
        }
        stage.machine.write(changed);
        auto from = stage.machine.log().size();
        json restored = run.restore();
        EXPECT_EQ(run.child.restOfOutput(), "") << what;
        EXPECT_EQ(restored, restoredReport(applied, skipped)) << what;
        json expected = stage.before;
        if (c.readOnly.empty()) expected["devices"].erase(c.uid);
        for (const auto& path : c.kept) expected[json::json_pointer(path)] = switched[json::json_pointer(path)];
        EXPECT_EQ(soundState(stage.machine), expected) << what;
        EXPECT_FALSE(harness::exists(stage.file("switched"))) << what;
        // What may not be written is not even tried.
        for (const json& call : stage.machine.calls("AudioObjectSetPropertyData", from)) {
            EXPECT_FALSE(std::ranges::count(c.readOnly, call.value("selector", ""))) << what << call;
        }
        expectNoCallOnObjectZero(stage.machine, what);
    }
}

struct Unmount {  // what was mounted at `path`, at the end of the scope
    std::string path;
    ~Unmount() {
        if (!path.empty()) ::umount2(path.c_str(), MNT_DETACH);
    }
};

// Every mode that writes to the folder, where the folder cannot be written: the right message, the
// machine untouched and nothing in the folder lost.
TEST(Faults, FolderThatCannotBeWritten) {
    // In the folder's place a file, or below one; a read-only folder (as root, whom permissions do not
    // stop, a read-only mount); a full disk of one or two pages; a folder in place of one of its files.
    enum Place { file, belowFile, readOnly, onePage, twoPages, settingsTaken, snapshotTaken, markTaken };
    const std::string keepSettings = errorLine("couldn't keep Sorvane's settings"),
                      keepYours = errorLine("couldn't keep your settings, so nothing was changed"),
                      noMark = errorLine("couldn't mark the switch, so nothing was changed"),
                      notSetUp = errorLine("Sorvane's sound isn't set up yet");
    const std::tuple<Place, std::string, std::string> cases[] = {
        {file, "--save", keepSettings}, {belowFile, "--save", keepSettings}, {file, "--switch", notSetUp},
        {belowFile, "--switch", notSetUp}, {file, "--restore", nothingRestored}, {readOnly, "--save", keepSettings},
        {readOnly, "--switch", noMark},  // the unrestored snapshot there is kept as it is
        {readOnly, "--restore", restoredReport(studioApplied, {}).dump() + "\n"},  // only the mark cannot go
        {onePage, "--save", keepSettings}, {onePage, "--switch", keepYours}, {twoPages, "--switch", noMark},
        {settingsTaken, "--save", keepSettings}, {snapshotTaken, "--switch", keepYours},
        {markTaken, "--switch", noMark}};
    const std::string settings = studioWanted().dump(), names[] = {"sorvane.json", "snapshot.json", "switched"};
    std::string cannotMount;
    for (const auto& [place, mode, out] : cases) {
        std::string what = mode + " in place " + std::to_string(place);
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        harness::writeFile(dir.file("plain"), "a file, not a folder");
        std::string folder = dir.file(place == file ? "plain" : place == belowFile ? "plain/settings" : "settings");
        bool inFolder = place != file && place != belowFile;
        bool mounted = place == onePage || place == twoPages || (place == readOnly && geteuid() == 0);
        ::mkdir(folder.c_str(), 0755);
        const char* size = place == onePage ? "size=4k" : place == twoPages ? "size=8k" : "size=64k";
        if (mounted && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, size) != 0) {
            cannotMount = std::strerror(errno);
            continue;
        }
        Unmount unmount{mounted ? folder : ""};
        if (inFolder && place != settingsTaken) harness::writeFile(folder + "/sorvane.json", settings);
        if (place >= settingsTaken) ::mkdir((folder + "/" + names[place - settingsTaken]).c_str(), 0755);
        if (place == readOnly) {
            harness::writeFile(folder + "/snapshot.json", settings);
            harness::writeFile(folder + "/switched", "2026-03-14T09:26:53Z");
            ASSERT_EQ(mounted ? ::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr)
                              : ::chmod(folder.c_str(), 0555), 0) << std::strerror(errno);
        }
        auto machineBefore = harness::readFile(machine.path());

        auto result = sound(machine, {mode, folder}, settings + "\nrestore\n");
        EXPECT_EQ(result.out, out) << what;
        EXPECT_EQ(result.status, mode == "--restore" ? 0 : 1) << what;
        if (mode != "--restore" || place == file) {
            EXPECT_EQ(harness::readFile(machine.path()), machineBefore) << what << ": the machine changed";
            EXPECT_TRUE(machine.calls("AudioObjectSetPropertyData").empty()) << what;
        }
        EXPECT_EQ(harness::readFile(dir.file("plain")), "a file, not a folder") << what;
        if (!inFolder || place >= settingsTaken) continue;
        EXPECT_EQ(harness::readFile(folder + "/sorvane.json"), settings) << what;
        EXPECT_EQ(harness::exists(folder + "/switched"), place == readOnly) << what;
        auto snapshot = harness::readFile(folder + "/snapshot.json");
        EXPECT_EQ(snapshot.has_value(), place == readOnly || place == twoPages) << what;
        json snapshotRecord = json::parse(snapshot.value_or(""), nullptr, false);
        EXPECT_TRUE(!snapshot || (place == readOnly ? snapshot == settings : snapshotRecord.is_object())) << what;
        ::chmod(folder.c_str(), 0755);
    }
    if (!cannotMount.empty()) {
        GTEST_SKIP() << "a small file system cannot be mounted here, so neither a full disk nor (as root) a read-only "
                        "folder can be made: " << cannotMount;
    }
}

// Every mode against every failed platform call: it may fail, but only the way the host expects.
TEST(Faults, EveryPlatformCallFailingInTurn) {
    const json wanted = harness::faultWantedSettings();
    const std::vector<std::string> modes = {"--read", "--devices", "--save", "--switch", "--restore"};
    const auto cases = harness::platformFaults("sorvane-sound");
    harness::inLanes(4, static_cast<int>(cases.size() * modes.size()), [&](int i) {
        const auto& c = cases[static_cast<std::size_t>(i) / modes.size()];
        const std::string& mode = modes[static_cast<std::size_t>(i) % modes.size()];
        std::string what = mode + " with " + c.name;
        harness::Machine machine(c.machine);
        harness::TempDir dir;
        harness::writeFile(dir.file(mode == "--switch" ? "sorvane.json" : "snapshot.json"), wanted.dump());
        std::vector<std::string> args = {mode, dir.path()};
        if (mode == "--read" || mode == "--devices") args.pop_back();
        // The line for "--save"; the end of input ends a switch's hold at once.
        auto result = sound(machine, args, mode == "--save" ? wanted.dump() + "\n" : "", 10);
        EXPECT_TRUE(result.status == 0 || result.status == 1) << what << ": exit " << result.status;
        EXPECT_EQ(result.err, "") << what;
        EXPECT_TRUE(c.name != "no fault" || result.status == 0) << what << ": " << result.out;
        std::string bad;
        EXPECT_TRUE(harness::onlyJsonLines(result.out, bad)) << what << ": " << bad;
        auto lines = result.outLines();
        if (result.status == 1) {
            ASSERT_EQ(lines.size(), 1u) << what << ": " << result.out;
            EXPECT_EQ(harness::field(parsed(lines[0]), "type"), "error") << what;
        } else if (mode == "--switch") {
            ASSERT_EQ(lines.size(), 2u) << what << ": " << result.out;
            EXPECT_EQ(harness::field(parsed(lines[1]), "type"), "restored") << what;
        }
        EXPECT_TRUE(machine.endedClean(result.status == 0)) << what;
        expectNoCallOnObjectZero(machine, what);
    });
}

}  // namespace
