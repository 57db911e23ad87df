// sorvane-selftest-tool: what scripts/selftest needs beyond a POSIX shell, on a Mac and on
// Linux alike: the tone, time limits, and the checks of the programs' JSON reports.
// Usage: sorvane-selftest-tool COMMAND ARGUMENTS... (the table below); a check that fails
// writes what it saw as one line on standard output and exits 1, or 2 when what it saw is
// something the machine lacks rather than a fault of the programs.
#include "selftest/capture.h"
#include "selftest/hold.h"
#include "selftest/limit.h"
#include "selftest/machine.h"
#include "selftest/read_side.h"
#include "selftest/tone.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

long whole(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

struct Command {
    size_t arguments;  // at least this many
    std::function<int(const Args&)> run;
};

const std::map<std::string, Command>& commands() {
    using namespace selftest;
    static const std::map<std::string, Command> table = {
        {"tone", {2, [](const Args& a) { return writeTone(a[0], static_cast<int>(whole(a[1]))) ? 0 : 1; }}},
        {"play", {1, [](const Args& a) { return playInPlace(a[0]) ? 0 : 1; }}},
        {"limit", {2, [](const Args& a) { return runWithin(std::atof(a[0].c_str()), Args(a.begin() + 1, a.end())); }}},
        {"now", {0, [](const Args&) { return std::printf("%lld\n", nowMs()) > 0 ? 0 : 1; }}},
        {"machine", {1, [](const Args& a) { return writeMachine(a[0]) ? 0 : 1; }}},
        {"add-player", {2, [](const Args& a) { return addPlayer(a[0], whole(a[1])) ? 0 : 1; }}},
        {"check-read-side", {3, [](const Args& a) { return checkReadSide(a[0], a[1], a[2]); }}},
        {"settings-as-they-are", {1, [](const Args& a) { return settingsAsTheyAre(a[0]); }}},
        {"has-output", {1, [](const Args& a) { return hasOutput(a[0]); }}},
        {"settings-that-change",
         {2, [](const Args& a) { return settingsThatChange(a[0], a[1], a.size() > 2 ? whole(a[2]) : 0); }}},
        {"has-report", {2, [](const Args& a) { return hasReport(a[0], a[1]); }}},
        {"check-hold", {1, [](const Args& a) { return checkHold(a[0], a.size() > 1 && a[1] == "changed"); }}},
        {"check-capture", {4, [](const Args& a) { return checkCapture(a[0], a[1], whole(a[2]), whole(a[3])); }}},
        {"check-listed", {2, [](const Args& a) { return checkListed(a[0], whole(a[1])); }}},
        {"permission-hint", {0, [](const Args&) { return std::printf("%s\n", kPermissionHint) > 0 ? 0 : 1; }}},
    };
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    auto found = args.empty() ? commands().end() : commands().find(args[0]);
    if (found == commands().end() || args.size() - 1 < found->second.arguments) {
        std::fprintf(stderr, "usage: sorvane-selftest-tool COMMAND ARGUMENTS (see scripts/selftest)\n");
        return 2;
    }
    return found->second.run(Args(args.begin() + 1, args.end()));
}
