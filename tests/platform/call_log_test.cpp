// The call log: what each line says, and whole lines from several processes at once.
#include "sim_fixture.h"

namespace platform_test {
namespace {

class CallLog : public SimTest {
protected:
    void SetUp() override { use(studio()); }
};

TEST_F(CallLog, PropertyCallsNameTheirAddressAndStatus) {
    read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut")));
    translate("studio");
    read<Float64>(device(2), at(code("nsrt")));
    write<Float32>(device(1), at(code("volm"), kAudioObjectPropertyScopeOutput, 2), 0.5f);
    const auto lines = machine().log();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], (nlohmann::json{{"fn", "AudioObjectGetPropertyData"},
                                        {"object", 1},
                                        {"selector", "dOut"},
                                        {"scope", "glob"},
                                        {"element", 0},
                                        {"status", 0},
                                        {"size", 4}}));
    EXPECT_EQ(lines[1]["fn"], "CFStringCreateWithCString");
    EXPECT_EQ(lines[1]["text"], "studio");
    EXPECT_EQ(lines[2]["selector"], "uidd");
    EXPECT_EQ(lines[2]["uid"], "studio");
    EXPECT_EQ(lines[3]["fn"], "CFRelease");
    EXPECT_EQ(lines[4]["selector"], "nsrt");
    EXPECT_EQ(lines[4]["status"], kAudioHardwareUnknownPropertyError);
    const auto writes = calls("AudioObjectSetPropertyData");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["object"], device(1));
    EXPECT_EQ(writes[0]["scope"], "outp");
    EXPECT_EQ(writes[0]["element"], 2);
    EXPECT_EQ(writes[0]["value"], 0.5);
    EXPECT_EQ(writes[0]["status"], 0);
}

TEST_F(CallLog, NoLogWithoutTheVariable) {
    unsetenv("SORVANE_MACHINE_LOG");
    sim::resetForTests();
    readList(kAudioObjectSystemObject, code("dev#"));
    EXPECT_FALSE(harness::exists(machine().logPath()));
}

TEST_F(CallLog, LinesFromSeveralProcessesStayWhole) {
    constexpr int perChild = 300;
    std::vector<pid_t> children;
    for (int child = 0; child < 3; ++child) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            sim::resetForTests();
            for (int i = 0; i < perChild; ++i) translate(i % 2 ? "studio" : "a UID long enough to make the line long");
            std::exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
    }
    int exits = 0;
    int translations = 0;
    for (const auto& line : machine().log()) {
        ASSERT_TRUE(line.is_object());
        exits += line["fn"] == "exit";
        translations += line.value("selector", "") == "uidd";
    }
    EXPECT_EQ(exits, 3);
    EXPECT_EQ(translations, 3 * perChild);
}

}  // namespace
}  // namespace platform_test
