// The IO thread: a stop waits for the cycle in progress, whose allocations are counted; no signals.
#include "sim_fixture.h"

#include "apple.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <new>
#include <thread>

namespace platform_test {
namespace {

int* volatile sink = nullptr;

struct Recorder {
    std::atomic<int> calls{0};
    std::atomic<bool> cycleDone{false}, termBlocked{true};  // SIGTERM blocked in every call
};

OSStatus record(AudioObjectID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*, AudioBufferList*,
                const AudioTimeStamp*, void* client) {
    auto& r = *static_cast<Recorder*>(client);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    if (sigismember(&mask, SIGTERM) != 1) r.termBlocked = false;
    sink = new int(1);
    delete sink;
    sink = new (std::nothrow) int[4];
    delete[] sink;
    if (r.calls.fetch_add(1) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // long enough for the stop to come meanwhile
        r.cycleDone = true;
    }
    return 0;
}

using IO = SimTest;

// Nothrow new (freed by the plain delete, as libraries do) once went uncounted and met the wrong delete
// under the sanitizers; a SIGTERM taken by the IO thread once waited there while it waited for its stop.
TEST_F(IO, TheStopWaitsForTheCycleInProgressWhoseAllocationsAreCountedAndWhichTakesNoSignals) {
    const auto tap = apple::TapDescription::stereoMixdown({1000});  // the first process
    AudioObjectID tapID = 0, device = 0;
    ASSERT_EQ(apple::createProcessTap(tap, &tapID), 0);
    const CFDictionaryRef aggregate = apple::aggregateDescription("t", apple::newUUIDString(), tap.uuidString());
    ASSERT_EQ(AudioHardwareCreateAggregateDevice(aggregate, &device), 0);
    CFRelease(aggregate);
    Recorder r;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(device, record, &r, &proc), 0);
    ASSERT_EQ(AudioDeviceStart(device, proc), 0);
    for (int ms = 0; ms < 20000 && r.calls == 0; ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(AudioDeviceStop(device, proc), 0);
    EXPECT_TRUE(r.cycleDone);
    const int calls = r.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(r.calls, calls);  // no call follows
    EXPECT_EQ(machine.log().back(), (nlohmann::json{{"fn", "AudioDeviceStop"}, {"object", device}, {"status", 0},
                                                    {"cycles", calls}, {"procAllocations", 2 * calls}}));
    EXPECT_TRUE(r.termBlocked);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGTERM), 0);  // the caller keeps its own
}

}  // namespace
}  // namespace platform_test
