// When the world misbehaves: devices that go away or stop taking changes before the restore, a
// settings folder that cannot be written, and every platform call failing in turn.
#include "harness/lanes.h"
#include "harness/platform_faults.h"
#include "tests/sound/folder_modes.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

using namespace folder_test;

const std::vector<std::string> studioBack = {"Studio at 48000 Hz", "Studio's channel layout", "Studio's volume",
                                             "Studio's volume"};
const std::string speakersBack = "the output Speakers as the default";
const std::string micBack = "the input Mic as the default";

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Faults, DeviceGoneOrReadOnlyBeforeTheRestore) {
    struct Case {
        std::string what;
        std::function<void(json&)> change;  // done to the machine while the switch holds
        std::vector<std::string> applied, skipped;
        // What stays as the switch left it, or goes with the device: `expected` starts as the
        // state before the switch, `switched` is the state the switch made.
        std::function<void(json& expected, const json& switched)> stays;
    };
    auto deviceFault = [](const std::string& uid, std::vector<std::string> selectors) {
        return [uid, selectors](json& m) {
            for (json& device : m["devices"]) {
                if (device["uid"] == uid) {
                    for (const auto& selector : selectors) {
                        device["faults"][selector] = "readonly";
                    }
                }
            }
        };
    };
    auto unplugged = [](const std::string& uid) {
        return [uid](json& m) {
            json kept = json::array();
            for (const json& device : m["devices"]) {
                if (device["uid"] != uid) {
                    kept.push_back(device);
                }
            }
            m["devices"] = kept;
        };
    };
    const std::vector<Case> cases = {
        {"studio unplugged", unplugged("studio"), {speakersBack, micBack}, {"Studio: not connected"},
         [](json& e, const json&) { e["devices"].erase("studio"); }},
        {"speakers unplugged", unplugged("spk"), joined(studioBack, {micBack}), {"the output Speakers: not connected"},
         [](json& e, const json& s) {
             e["devices"].erase("spk");
             e["defaultOutput"] = s["defaultOutput"];
         }},
        {"microphone unplugged", unplugged("mic"), joined(studioBack, {speakersBack}), {"the input Mic: not connected"},
         [](json& e, const json& s) {
             e["devices"].erase("mic");
             e["defaultInput"] = s["defaultInput"];
         }},
        {"studio's rate read-only", deviceFault("studio", {"nsrt"}),
         {"Studio's channel layout", "Studio's volume", "Studio's volume", speakersBack, micBack},
         {"Studio at 48000 Hz"},
         [](json& e, const json& s) { e["devices"]["studio"]["rate"] = s["devices"]["studio"]["rate"]; }},
        {"studio's layout read-only", deviceFault("studio", {"srnd"}),
         {"Studio at 48000 Hz", "Studio's volume", "Studio's volume", speakersBack, micBack},
         {"Studio's channel layout"},
         [](json& e, const json& s) { e["devices"]["studio"]["layout"] = s["devices"]["studio"]["layout"]; }},
        {"studio's volume read-only", deviceFault("studio", {"volm"}),
         {"Studio at 48000 Hz", "Studio's channel layout", speakersBack, micBack},
         {"Studio's volume", "Studio's volume"},
         [](json& e, const json& s) { e["devices"]["studio"]["volume"] = s["devices"]["studio"]["volume"]; }},
        {"studio wholly read-only", deviceFault("studio", {"nsrt", "srnd", "volm"}), {speakersBack, micBack}, studioBack,
         [](json& e, const json& s) { e["devices"]["studio"] = s["devices"]["studio"]; }},
        {"default output read-only", [](json& m) { m["faults"]["dOut"] = "readonly"; }, joined(studioBack, {micBack}),
         {speakersBack}, [](json& e, const json& s) { e["defaultOutput"] = s["defaultOutput"]; }},
        {"default input read-only", [](json& m) { m["faults"]["dIn "] = "readonly"; },
         joined(studioBack, {speakersBack}), {micBack},
         [](json& e, const json& s) { e["defaultInput"] = s["defaultInput"]; }},
    };
    for (const Case& c : cases) {
        // The hold's own restore, and "--restore" after a switch that was killed.
        for (bool killed : {false, true}) {
            std::string what = c.what + (killed ? ", switch killed, --restore" : ", hold's restore");
            harness::Machine machine(studioMachine());
            harness::TempDir dir;
            ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
            json expected = soundState(machine);
            Switch run(machine, dir.path());
            ASSERT_EQ(harness::field(run.switched, "skipped"), json::array()) << what;
            json switched = soundState(machine);
            json changed = machine.state();
            c.change(changed);
            machine.write(changed);

            json restored;
            if (killed) {
                run.child.signal(SIGKILL);
                run.child.wait();
                auto result = sound(machine, {"--restore", dir.path()});
                EXPECT_EQ(result.status, 0) << what;
                auto lines = result.outLines();
                ASSERT_EQ(lines.size(), 1u) << what << ": " << result.out;
                restored = parsed(lines[0]);
            } else {
                restored = run.restore();
                EXPECT_EQ(run.child.wait(), 0) << what;
                EXPECT_EQ(run.child.restOfOutput(), "") << what;
            }
            EXPECT_EQ(restored, restoredReport(c.applied, c.skipped)) << what;
            c.stays(expected, switched);
            EXPECT_EQ(soundState(machine), expected) << what;
            EXPECT_FALSE(harness::exists(dir.file("switched"))) << what;
        }
    }
}

// Every mode that writes to the folder, with the folder's place taken by a file.
TEST(Faults, FileWhereTheFolderShouldBe) {
    struct Case {
        const char* what;
        std::string mode, place;  // `place` under the test folder; "plain" is a file
        std::string out;
        int status;
    };
    const std::vector<Case> cases = {
        {"save into a file", "--save", "plain", errorLine("couldn't keep Sorvane's settings"), 1},
        {"save below a file", "--save", "plain/settings", errorLine("couldn't keep Sorvane's settings"), 1},
        {"switch into a file", "--switch", "plain", errorLine("Sorvane's sound isn't set up yet"), 1},
        {"switch below a file", "--switch", "plain/settings", errorLine("Sorvane's sound isn't set up yet"), 1},
        {"restore from a file", "--restore", "plain", restoredReport({}, {"no snapshot to put back"}).dump() + "\n", 0},
    };
    for (const Case& c : cases) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        harness::writeFile(dir.file("plain"), "a file, not a folder");
        auto before = harness::readFile(machine.path());
        auto result = sound(machine, {c.mode, dir.file(c.place)}, studioWanted().dump() + "\nrestore\n");
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.out, c.out) << c.what;
        EXPECT_EQ(harness::readFile(machine.path()), before) << c.what;
        EXPECT_EQ(harness::readFile(dir.file("plain")), "a file, not a folder") << c.what;
    }
}

// A small memory file system of its own at `path`, unmounted at the end; mounting needs privileges
// that a test run may not have.
class SmallDisk {
public:
    SmallDisk(const std::string& path, const std::string& size) : path_(path) {
        ::mkdir(path.c_str(), 0755);
        std::string options = "size=" + size + ",mode=0755";
        if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
            mounted_ = true;
        } else {
            error_ = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    bool makeReadOnly() {
        return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string path_;
    bool mounted_ = false;
    std::string error_;
};

// What a run did to the folder and the devices, which must be nothing.
struct Untouched {
    const harness::Machine& machine;
    std::optional<std::string> before = harness::readFile(machine.path());

    void check(const std::string& what) const {
        EXPECT_EQ(harness::readFile(machine.path()), before) << what << ": the machine changed";
        for (const json& call : machine.log()) {
            EXPECT_NE(harness::field(call, "fn"), "AudioObjectSetPropertyData") << what << ": " << call.dump();
        }
    }
};

TEST(Faults, ReadOnlyFolder) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    std::string folder = dir.file("settings");
    std::optional<SmallDisk> disk;
    std::string settings = [&] {
        harness::TempDir scratch;
        EXPECT_TRUE(saveSettings(machine, scratch.path(), studioWanted()));
        return harness::readFile(scratch.file("sorvane.json")).value_or("");
    }();
    ASSERT_FALSE(settings.empty());
    std::string snapshot = studioWanted().dump();
    auto fill = [&] {
        harness::writeFile(folder + "/sorvane.json", settings);
        harness::writeFile(folder + "/snapshot.json", snapshot);
        harness::writeFile(folder + "/switched", "2026-03-14T09:26:53Z");
    };
    if (geteuid() != 0) {
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        fill();
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    } else {
        // Root writes through permissions; a file system mounted read-only stops it.
        disk.emplace(folder, "64k");
        if (!disk->mounted()) {
            GTEST_SKIP() << "running as root, which ignores folder permissions, and a read-only file system "
                            "cannot be mounted here: "
                         << disk->error();
        }
        fill();
        ASSERT_TRUE(disk->makeReadOnly()) << std::strerror(errno);
    }
    machine.clearLog();

    for (const char* mode : {"--save", "--switch"}) {
        Untouched untouched{machine};
        auto result = sound(machine, {mode, folder}, studioWanted().dump() + "\nrestore\n");
        EXPECT_EQ(result.status, 1) << mode;
        EXPECT_EQ(result.out, errorLine(mode == std::string("--save") ? "couldn't keep Sorvane's settings"
                                                                      : "couldn't keep your settings, so nothing was changed"))
            << mode;
        untouched.check(mode);
    }
    EXPECT_EQ(harness::readFile(folder + "/sorvane.json"), settings);
    EXPECT_EQ(harness::readFile(folder + "/snapshot.json"), snapshot);

    // The snapshot can still be put back; only the mark cannot go.
    auto result = sound(machine, {"--restore", folder});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              restoredReport({"the output Studio as the default", "the output Studio at 96000 Hz",
                              "the output Studio's channel layout", "the output Studio's volume",
                              "the output Studio's volume", "the input Studio as the default"},
                             {})
                      .dump() +
                  "\n");
    EXPECT_TRUE(harness::exists(folder + "/switched"));
}

// A full disk: the snapshot cannot be written, or the snapshot can but the mark cannot; the
// settings themselves cannot be saved.
TEST(Faults, FullDisk) {
    harness::Machine machine(studioMachine());
    std::string settings = [&] {
        harness::TempDir scratch;
        EXPECT_TRUE(saveSettings(machine, scratch.path(), studioWanted()));
        return harness::readFile(scratch.file("sorvane.json")).value_or("");
    }();
    ASSERT_FALSE(settings.empty());
    struct Case {
        const char* what;
        const char* mode;
        const char* size;  // one page per small file
        std::string message;
        bool snapshotLeft;
    };
    const Case cases[] = {
        {"no room for the snapshot", "--switch", "4k", "couldn't keep your settings, so nothing was changed", false},
        {"no room for the mark", "--switch", "8k", "couldn't mark the switch, so nothing was changed", true},
        {"no room for the settings", "--save", "4k", "couldn't keep Sorvane's settings", false},
    };
    for (const Case& c : cases) {
        harness::TempDir dir;
        std::string folder = dir.file("settings");
        SmallDisk disk(folder, c.size);
        if (!disk.mounted()) {
            GTEST_SKIP() << "a small file system cannot be mounted here, so a full disk cannot be made: "
                         << disk.error();
        }
        // The settings, or for "--save" an old copy of them, take the first page.
        harness::writeFile(folder + "/sorvane.json", settings);
        machine.clearLog();
        Untouched untouched{machine};
        auto result = sound(machine, {c.mode, folder}, studioWanted().dump() + "\nrestore\n");
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, errorLine(c.message)) << c.what;
        untouched.check(c.what);
        EXPECT_EQ(harness::readFile(folder + "/sorvane.json"), settings) << c.what;
        EXPECT_FALSE(harness::exists(folder + "/switched")) << c.what;
        auto snapshot = harness::readFile(folder + "/snapshot.json");
        EXPECT_EQ(snapshot.has_value(), c.snapshotLeft) << c.what;
        if (snapshot) {
            EXPECT_TRUE(json::parse(*snapshot, nullptr, false).is_object()) << c.what << ": " << *snapshot;
        }
    }
}

// Every mode against every failed platform call: it may fail, but only the way the host expects.
TEST(Faults, EveryPlatformCallFailingInTurn) {
    const json wanted = harness::faultWantedSettings();
    const std::vector<std::string> modes = {"--backend", "--read", "--devices", "--save", "--switch", "--restore"};
    const auto cases = harness::platformFaults();
    const int runs = static_cast<int>(cases.size() * modes.size());
    harness::inLanes(4, runs, [&](int i) {
        const auto& c = cases[static_cast<std::size_t>(i) / modes.size()];
        const std::string& mode = modes[static_cast<std::size_t>(i) % modes.size()];
        std::string what = mode + " with " + c.name;
        harness::Machine machine(c.machine);
        harness::TempDir dir;
        std::vector<std::string> args = {mode};
        std::optional<std::string> input;
        if (mode == "--save") {
            input = wanted.dump() + "\n";
        } else if (mode == "--switch") {
            harness::writeFile(dir.file("sorvane.json"), wanted.dump());
            input = "";  // the hold ends at once
        } else if (mode == "--restore") {
            harness::writeFile(dir.file("snapshot.json"), wanted.dump());
        }
        if (mode == "--save" || mode == "--switch" || mode == "--restore") {
            args.push_back(dir.path());
        }
        auto result = sound(machine, args, input, 10);
        EXPECT_FALSE(result.timedOut) << what;
        EXPECT_TRUE(result.status == 0 || result.status == 1) << what << ": exit " << result.status << ", " << result.err;
        std::string bad;
        if (mode == "--backend") {
            EXPECT_EQ(result.out, "coreaudio\n") << what;  // plain text, the one answer that is not a report
        } else {
            EXPECT_TRUE(harness::onlyJsonLines(result.out, bad)) << what << ": " << bad;
        }
        EXPECT_EQ(result.err, "") << what;
        auto lines = result.outLines();
        if (result.status == 1) {
            ASSERT_EQ(lines.size(), 1u) << what << ": " << result.out;
            EXPECT_EQ(harness::field(parsed(lines[0]), "type"), "error") << what;
        } else if (mode == "--switch") {
            ASSERT_EQ(lines.size(), 2u) << what << ": " << result.out;
            EXPECT_EQ(harness::field(parsed(lines[1]), "type"), "restored") << what;
        }
        if (c.name == "no fault") {
            EXPECT_EQ(result.status, 0) << what << ": " << result.out;
        }
        auto log = machine.log();
        if (mode == "--backend") {
            EXPECT_TRUE(log.empty()) << what << ": the answer needs no device";
            return;
        }
        ASSERT_FALSE(log.empty()) << what;
        EXPECT_EQ(harness::field(log.back(), "fn"), "exit") << what;
        EXPECT_EQ(harness::field(log.back(), "overReleases"), 0) << what;
        if (result.status == 0) {
            EXPECT_EQ(harness::field(log.back(), "stringsAlive"), 0) << what;
        }
    });
}

}  // namespace
