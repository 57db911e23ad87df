// The call log: a line's form, and whole lines from processes writing at once, with their exit counts.
#include "sim_fixture.h"

namespace platform_test {
namespace {

using CallLog = SimTest;
using json = nlohmann::json;

// The end-to-end tests read a line's call, object, selector and status; this one checks the rest.
TEST_F(CallLog, LinesNameTheCallTheAddressAndTheOutcome) {
    write<Float32>(device(1), at("volm", out, 2), 0.5f);
    EXPECT_EQ(machine.log(), (std::vector<json>{{{"fn", "AudioObjectSetPropertyData"}, {"object", device(1)},
                                                 {"selector", "volm"}, {"scope", "outp"}, {"element", 2},
                                                 {"size", 4}, {"value", 0.5}, {"status", 0}}}));
}

TEST_F(CallLog, ProcessesWritingAtOnceLeaveWholeLinesAndExitLinesCountingTheirStrings) {
    const long inherited = sim::stringsAlive();
    const std::string text(5000, 'x');  // longer than any buffer a line might be cut at
    EXPECT_EQ(inChildren(3, [&](int) {
                  for (int i = 0; i < 300; ++i) {
                      CFRelease(CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
                  }
                  read<CFStringRef>(device(0), at("uid "));  // handed over, never released
                  const CFStringRef ref = CFStringCreateWithCString(nullptr, "held", kCFStringEncodingUTF8);
                  CFRelease(CFRetain(ref));
                  CFRelease(ref);
                  CFRelease(ref);  // no longer live: counted, and its old text is not read
                  CFRelease(nullptr);
                  if (CFStringGetLength(ref) != 0) _exit(1);
              }), (std::vector<int>{0, 0, 0}));
    int made = 0;
    std::vector<json> exits;
    for (const auto& line : machine.log()) {
        ASSERT_TRUE(line.is_object());
        made += line.value("text", "") == text;
        if (line["fn"] == "exit") exits.push_back(line);
    }
    EXPECT_EQ(exits, std::vector<json>(3, {{"fn", "exit"}, {"stringsAlive", inherited + 1}, {"overReleases", 2}}));
    EXPECT_EQ(made, 3 * 300);
}

}  // namespace
}  // namespace platform_test
