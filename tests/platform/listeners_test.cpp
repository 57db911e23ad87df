// Property listeners of the simulated machine, called from its own notification thread.
#include "sim_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace platform_test;

class Listeners : public SimTest {};

std::atomic<int> told{0};

OSStatus count(AudioObjectID, UInt32, const AudioObjectPropertyAddress*, void*) {
    told.fetch_add(1);
    return 0;
}

// The process list is told of when a process starts or stops playing, and of nothing else; no
// call comes once the listener is removed.
TEST_F(Listeners, TheProcessListIsToldOfWhatChanges) {
    const AudioObjectPropertyAddress processes = at("prs#");
    ASSERT_EQ(AudioObjectAddPropertyListener(kAudioObjectSystemObject, &processes, count, nullptr), 0);
    const auto waitFor = [](int calls) {
        for (int waited = 0; waited < 2000 && told.load() < calls; waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return told.load();
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(told.load(), 0) << "told of nothing that changed";
    nlohmann::json state = machine.state();
    state["processes"][0]["playing"] = true;
    machine.write(state);
    EXPECT_EQ(waitFor(1), 1);
    state["devices"][0]["rate"] = 44100;  // not a process
    machine.write(state);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(told.load(), 1);
    ASSERT_EQ(AudioObjectRemovePropertyListener(kAudioObjectSystemObject, &processes, count, nullptr), 0);
    state["processes"].push_back({{"pid", 502}});
    machine.write(state);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(told.load(), 1) << "called after its removal";
}

}  // namespace
