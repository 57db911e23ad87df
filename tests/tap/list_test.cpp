// --list: one JSON line per audio process on standard output, the host's own left out.
#include "tap_runs.h"

#include <map>

namespace {

using namespace tap_test;

constexpr int nope = 0x6E6F7065;  // 'nope'

json listMachine() {
    return {
        {"devices",
         {{{"uid", "spk"}, {"name", "Speakers"}, {"output", {2}}},
          {{"uid", "studio"}, {"name", "Studio/Main"}, {"output", {2, 8}}},
          {{"uid", "nameless"}, {"output", {4}}},
          {{"uid", "faulty"}, {"name", "Faulty"}, {"output", {6}}, {"faults", {{"lnam", nope}, {"uid ", nope}}}},
          {{"uid", "mic"}, {"name", "Mic"}, {"input", {2}}}}},
        {"processes",
         {{{"pid", 601}, {"bundleId", "x.music"}, {"playing", true}, {"devices", {"spk", "studio"}}},
          {{"pid", 602}, {"bundleId", "x.daemon"}, {"playing", false}},
          {{"pid", 603}, {"bundleId", "x.agent"}, {"playing", true}, {"devices", {"nameless", "faulty", "mic"}}},
          {{"pid", 604}, {"bundleId", "x.host"}, {"playing", true}},
          {{"pid", 605}, {"bundleId", "x.host.agent"}},
          {{"pid", 606}, {"bundleId", "x.hostess"}},
          {{"pid", 607}, {"bundleId", "x"}},
          {{"pid", 608}},
          {{"pid", 609}, {"bundleId", "x.broken"}, {"playing", true}, {"faults", {{"piro", nope}, {"ppid", nope}}}},
          {{"pid", 610}, {"bundleId", "x.hidden"}, {"devices", {"gone"}}}}},
        {"apps",
         {{{"pid", "parent"}, {"bundleId", "x.host"}, {"name", "Host"}},
          {{"pid", 601}, {"bundleId", "x.music"}, {"name", "Music"}, {"policy", 0}},
          {{"pid", 603}, {"bundleId", "x.agent"}, {"policy", 1}},
          {{"pid", 610}, {"bundleId", "x.hidden"}, {"name", "Hidden"}, {"policy", 2}}}},
    };
}

std::vector<json> records(const harness::Result& result) {
    std::vector<json> list;
    for (const std::string& line : result.outLines()) {
        list.push_back(json::parse(line, nullptr, false));
    }
    return list;
}

json device(const std::string& uid, const std::string& name, int channels) {
    return {{"uid", uid}, {"name", name}, {"channels", channels}};
}

TEST(List, RecordsOfEveryProcessButTheHosts) {
    harness::Machine machine(listMachine());
    auto result = runTap(machine, {"--list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    std::map<int, json> byPid;
    std::vector<int> order;
    for (const json& record : records(result)) {
        ASSERT_TRUE(record.is_object()) << result.out;
        EXPECT_EQ(record.size(), 7u) << record.dump();
        order.push_back(record.value("pid", -1));
        byPid[record.value("pid", -1)] = record;
    }
    // x.host and x.host.agent are the host's; x.hostess and x are not. 609's pid cannot be read.
    EXPECT_EQ(order, (std::vector<int>{601, 602, 603, 606, 607, 608, 0, 610}));

    EXPECT_EQ(byPid[601], json({{"pid", 601},
                                {"bundleId", "x.music"},
                                {"name", "Music"},
                                {"playing", true},
                                {"outputs", {"Speakers", "Studio/Main"}},
                                {"app", true},
                                {"outputDevices", {device("spk", "Speakers", 2), device("studio", "Studio/Main", 10)}}}));
    // No running application: the name is the bundle identifier, and it is no app.
    EXPECT_EQ(byPid[602], json({{"pid", 602},
                                {"bundleId", "x.daemon"},
                                {"name", "x.daemon"},
                                {"playing", false},
                                {"outputs", json::array()},
                                {"app", false},
                                {"outputDevices", json::array()}}));
    // An accessory without a localized name; devices whose name cannot be read are missing
    // from "outputs" only, an unreadable UID is empty, and a device without output streams has
    // 0 channels.
    EXPECT_EQ(byPid[603], json({{"pid", 603},
                                {"bundleId", "x.agent"},
                                {"name", "x.agent"},
                                {"playing", true},
                                {"outputs", {"Mic"}},
                                {"app", false},
                                {"outputDevices", {device("nameless", "", 4), device("", "", 6), device("mic", "Mic", 0)}}}));
    EXPECT_EQ(byPid[608]["bundleId"], "");
    EXPECT_EQ(byPid[608]["name"], "");
    EXPECT_EQ(byPid[0]["bundleId"], "x.broken");
    EXPECT_EQ(byPid[0]["playing"], false) << "an unreadable IsRunningOutput is not playing";
    EXPECT_EQ(byPid[610]["name"], "Hidden");
    EXPECT_EQ(byPid[610]["app"], false) << "a prohibited application is no app";
    EXPECT_EQ(byPid[610]["outputDevices"], json({device("", "", 0)})) << "a device the platform does not know";
    EXPECT_EQ(byPid[610]["outputs"], json::array());
}

TEST(List, HostWithoutBundleIdentifierListsEverything) {
    json description = listMachine();
    description["apps"][0].erase("bundleId");
    harness::Machine machine(description);
    auto result = runTap(machine, {"--list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(records(result).size(), 10u);
}

TEST(List, NoProcessesListNothing) {
    json description = listMachine();
    description.erase("processes");
    harness::Machine machine(description);
    auto result = runTap(machine, {"--list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");

    json unreadable = listMachine();
    unreadable["faults"] = {{"prs#", nope}};
    harness::Machine faulty(unreadable);
    auto failed = runTap(faulty, {"--list"});
    EXPECT_EQ(failed.status, 0);
    EXPECT_EQ(failed.out, "");
}

// --list wins wherever it stands, also as another option's value; nothing else is looked at.
TEST(List, WinsOverEveryOtherOption) {
    harness::Machine machine(listMachine());
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--bundle-id", "x.host", "--list"},
             {"--pid", "--list"},
             {"--device", "nowhere", "--master", "0", "--list"},
         }) {
        auto result = runTap(machine, args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(records(result).size(), 8u);
        EXPECT_EQ(result.err, "");
    }
    for (const std::string& fn : calls(machine)) {
        EXPECT_NE(fn, "AudioHardwareCreateProcessTap");
    }
}

}  // namespace
