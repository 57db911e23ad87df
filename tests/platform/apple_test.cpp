// The simulated Objective-C pieces: tap descriptions, running applications, the system version.
#include "sim_fixture.h"

#include "apple.h"

namespace platform_test {
namespace {

class Apple : public SimTest {
protected:
    void SetUp() override { use(studio()); }
};

TEST_F(Apple, RunningApplicationsComeFromTheMachine) {
    const auto music = apple::runningApplication(501);
    ASSERT_TRUE(music.has_value());
    EXPECT_EQ(music->bundleIdentifier, "com.example.music");
    EXPECT_EQ(music->localizedName, "Music");
    EXPECT_EQ(music->activationPolicy, 0);

    // "parent" is whoever started this process.
    const auto host = apple::runningApplication(getppid());
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(host->bundleIdentifier, "com.example.host");
    EXPECT_EQ(host->localizedName, std::nullopt);
    EXPECT_EQ(host->activationPolicy, 1);

    EXPECT_FALSE(apple::runningApplication(502).has_value());  // an audio process without an app
}

TEST_F(Apple, SystemVersion) {
    EXPECT_TRUE(apple::systemAtLeast(14, 2));
    EXPECT_TRUE(apple::systemAtLeast(15, 0));
    EXPECT_FALSE(apple::systemAtLeast(15, 0, 1));
    EXPECT_FALSE(apple::systemAtLeast(26, 0));
    auto description = studio();
    description["system"] = "26.0.1";
    use(description);
    EXPECT_TRUE(apple::systemAtLeast(26, 0));
    EXPECT_TRUE(apple::systemAtLeast(26, 0, 1));
    EXPECT_FALSE(apple::systemAtLeast(26, 1));
}

TEST_F(Apple, TapDescriptionsCarryWhatWasSetOnThem) {
    auto description = apple::TapDescription::deviceStream({process(0)}, "studio", 1);
    description.setName("Sorvane");
    description.setPrivate(true);
    description.setMuteBehavior(2);
    description.setBundleIDs({"com.example.music"});
    description.setProcessRestoreEnabled(true);
    const auto moved = std::move(description);
    AudioObjectID tap = 0;
    ASSERT_EQ(apple::createProcessTap(moved, &tap), 0);
    const auto lines = calls("AudioHardwareCreateProcessTap");
    ASSERT_EQ(lines.size(), 1u);
    const auto& line = lines[0];
    EXPECT_EQ(line["uuid"], moved.uuidString());
    EXPECT_EQ(line["description"], (nlohmann::json{{"processes", {process(0)}},
                                                   {"deviceUID", "studio"},
                                                   {"stream", 1},
                                                   {"name", "Sorvane"},
                                                   {"private", true},
                                                   {"muteBehavior", 2},
                                                   {"bundleIDs", {"com.example.music"}},
                                                   {"processRestore", true}}));
    EXPECT_EQ(apple::destroyProcessTap(tap), 0);

    // Every description has a UUID of its own.
    EXPECT_NE(apple::TapDescription::stereoMixdown({}).uuidString(),
              apple::TapDescription::stereoMixdown({}).uuidString());
}

}  // namespace
}  // namespace platform_test
