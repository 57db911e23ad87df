// A tap's description read and written while the tap exists, and process objects that keep their
// identifier while others come and go.
#include "apple.h"
#include "sim_fixture.h"

namespace {

using namespace platform_test;

class TapDescriptions : public SimTest {};

AudioObjectID processOf(pid_t pid) {
    AudioObjectID object = 0;
    UInt32 size = sizeof object;
    const AudioObjectPropertyAddress translate = at("id2p");
    AudioObjectGetPropertyData(kAudioObjectSystemObject, &translate, sizeof pid, &pid, &size, &object);
    return object;
}

TEST_F(TapDescriptions, ReadAsANewObjectAndWrittenOnlyWithProcessesThatExist) {
    const AudioObjectID music = processOf(501);
    ASSERT_NE(music, 0u);
    auto description = apple::TapDescription::stereoMixdown({music});
    AudioObjectID tap = 0;
    ASSERT_EQ(apple::createProcessTap(description, &tap), 0);

    // The reader owns what it is handed: one release, and it is gone.
    const AudioObjectPropertyAddress tdsc = at("tdsc");
    Boolean settable = 0;
    EXPECT_EQ(AudioObjectIsPropertySettable(tap, &tdsc, &settable), 0);
    EXPECT_TRUE(settable);
    auto [status, object] = read<CFTypeRef>(tap, tdsc);
    ASSERT_EQ(status, 0);
    ASSERT_NE(object, nullptr);
    CFRelease(object);
    EXPECT_EQ(sim::overReleases(), 0);
    CFRelease(object);
    EXPECT_EQ(sim::overReleases(), 1) << "released twice yet still alive";

    // Another process comes first in the file: the music keeps its object; one that leaves is gone.
    nlohmann::json state = machine.state();
    state["processes"] = {{{"pid", 777}}, {{"pid", 501}}};
    machine.write(state);
    EXPECT_EQ(processOf(501), music);
    const AudioObjectID newcomer = processOf(777);
    description.setProcesses({music, newcomer});
    EXPECT_EQ(apple::writeTapDescription(tap, description), 0);
    state["processes"] = {{{"pid", 501}}};
    machine.write(state);
    EXPECT_EQ(apple::writeTapDescription(tap, description), 0x216F626A) << "'!obj' for a process gone";
}

}  // namespace
