// --list: one JSON line per audio process on standard output, the host's own left out.
#include "sim/testing.h"
#include "tap/processes.h"
#include "tap_runs.h"

namespace {

using namespace tap_test;

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
          {{"pid", 604}, {"bundleId", "x.host"}, {"playing", true}}, {{"pid", 605}, {"bundleId", "x.host.agent"}},
          {{"pid", 606}, {"bundleId", "x.hostess"}}, {{"pid", 607}, {"bundleId", "x"}}, {{"pid", 608}},
          {{"pid", 609}, {"bundleId", "x.broken"}, {"playing", true}, {"faults", {{"piro", nope}, {"ppid", nope}}}},
          {{"pid", 610}, {"bundleId", "x.hidden"}, {"devices", {"gone"}}}}},
        {"apps",
         {{{"pid", "parent"}, {"bundleId", "x.host"}, {"name", "Host"}},
          {{"pid", 601}, {"bundleId", "x.music"}, {"name", "Music"}, {"policy", 0}},
          {{"pid", 603}, {"bundleId", "x.agent"}, {"policy", 1}},
          {{"pid", 610}, {"bundleId", "x.hidden"}, {"name", "Hidden"}, {"policy", 2}}}},
    };
}

json device(const std::string& uid, const std::string& name, int channels) {
    return {{"uid", uid}, {"name", name}, {"channels", channels}};
}

// An empty name is the bundle identifier, as for a process without a running application.
json record(int pid, const std::string& bundle, json devices = json::array(), std::string name = "",
            bool playing = false, json outputs = json::array(), bool app = false) {
    return {{"pid", pid},         {"bundleId", bundle}, {"name", name.empty() ? bundle : name}, {"playing", playing},
            {"outputs", outputs}, {"app", app},         {"outputDevices", devices}};
}

std::vector<json> list(const json& description, const std::vector<std::string>& args) {
    Capture run(description, args);
    EXPECT_EQ(run.child.wait(10).value_or(-1), 0);
    EXPECT_EQ(run.child.error(), "");
    std::vector<json> records;
    while (auto line = run.child.readLine(5)) {
        records.push_back(json::parse(*line, nullptr, false));
    }
    return records;
}

// x.host and x.host.agent are the host's, x.hostess and x are not; accessories and prohibited apps
// are no apps. A device's unreadable name is missing from "outputs" only and an unreadable UID is
// empty; 609's pid and IsRunningOutput cannot be read. --list wins wherever it stands, also as
// another option's value; a helper inside the host's bundle leaves out the same processes; a host
// without a bundle identifier owns no process.
TEST(List, RecordsOfEveryProcessButTheHosts) {
    const json music = {device("spk", "Speakers", 2), device("studio", "Studio/Main", 10)};
    const json agent = {device("nameless", "", 4), device("", "", 6), device("mic", "Mic", 0)};
    const std::vector<json> records = {
        record(601, "x.music", music, "Music", true, {"Speakers", "Studio/Main"}, true), record(602, "x.daemon"),
        record(603, "x.agent", agent, "", true, {"Mic"}), record(606, "x.hostess"), record(607, "x"), record(608, ""),
        record(0, "x.broken"), record(610, "x.hidden", json::array({device("", "", 0)}), "Hidden")};
    for (const auto& args : std::vector<std::vector<std::string>>{{"--list"},
                                                                  {"--bundle-id", "x.host", "--list"},
                                                                  {"--pid", "--list"},
                                                                  {"--device", "nowhere", "--master", "0", "--list"}}) {
        EXPECT_EQ(list(listMachine(), args), records) << args[0];
    }
    json helper = listMachine();
    helper["apps"][0] = hostHelper()["apps"][0];
    helper["bundles"] = hostHelper()["bundles"];
    EXPECT_EQ(list(helper, {"--list"}), records);
    json anonymousHost = listMachine();
    anonymousHost["apps"][0].erase("bundleId");
    EXPECT_EQ(list(anonymousHost, {"--list"}).size(), 10u);
}

// In-process: a process that exits between the list's size query and its read leaves no entry
// behind (once an identifier 0, listed with pid 0).
TEST(List, ProcessGoneBeforeTheRead) {
    static harness::Machine shrinking(json{{"processes", {{{"pid", 601}}, {{"pid", 602}}}}});
    setenv("SORVANE_MACHINE", shrinking.path().c_str(), 1);
    sim::resetForTests();
    sim::afterNextSizeQuery([] { shrinking.write(json{{"processes", {{{"pid", 601}}}}}); });
    auto processes = tap::audioProcesses();
    unsetenv("SORVANE_MACHINE");
    sim::resetForTests();
    ASSERT_EQ(processes.size(), 1u);
    EXPECT_EQ(processes[0].pid, 601);
}

}  // namespace
