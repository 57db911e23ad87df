// The IO thread: the audio it delivers, its cycles, and a stop that waits for the cycle in progress.
#include "sim_fixture.h"

#include "apple.h"
#include "sim/tapping.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <new>
#include <thread>

namespace platform_test {
namespace {

constexpr std::size_t maxCycles = 8;
constexpr std::size_t maxFloatsPerCycle = 512 * 8;

// What the procedure saw, copied into storage made before the start (the procedure must not allocate).
struct Recorder {
    Recorder() : samples(maxCycles * maxFloatsPerCycle, -1.0f) {}
    std::vector<float> samples;
    UInt32 buffers = 0;
    UInt32 channelsOfFirst = 0;
    UInt32 bytesOfFirst = 0;
    UInt32 outputBuffers = 99;
    double sampleTimes[maxCycles] = {};
    std::atomic<int> calls{0};
    bool terminationBlocked = false;  // in the procedure's thread, at the first call
    bool allocate = false;
    bool allocateNothrow = false;
    bool blockSecondCall = false;
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
};

int* volatile allocationSink = nullptr;

OSStatus record(AudioObjectID, const AudioTimeStamp* now, const AudioBufferList* input, const AudioTimeStamp*,
                AudioBufferList* output, const AudioTimeStamp*, void* client) {
    auto* r = static_cast<Recorder*>(client);
    const int cycle = r->calls.load();
    if (cycle == 0) {
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        r->terminationBlocked = sigismember(&mask, SIGTERM) == 1;
    }
    if (std::size_t(cycle) < maxCycles) {
        r->sampleTimes[cycle] = now->mSampleTime;
        r->buffers = input->mNumberBuffers;
        r->outputBuffers = output->mNumberBuffers;
        std::size_t at = std::size_t(cycle) * maxFloatsPerCycle;
        for (UInt32 b = 0; b < input->mNumberBuffers; ++b) {
            const AudioBuffer& buffer = *(input->mBuffers + b);
            if (b == 0) {
                r->channelsOfFirst = buffer.mNumberChannels;
                r->bytesOfFirst = buffer.mDataByteSize;
            }
            const std::size_t floats = buffer.mDataByteSize / 4;
            if (at + floats <= (std::size_t(cycle) + 1) * maxFloatsPerCycle) {
                std::memcpy(&r->samples[at], buffer.mData, floats * 4);
            }
            at += floats;
        }
    }
    if (r->allocate) {
        allocationSink = new int(cycle);
        delete allocationSink;
    }
    if (r->allocateNothrow) {
        // The nothrow form freed by the plain delete, as library code does.
        allocationSink = new (std::nothrow) int(cycle);
        delete allocationSink;
        int* many = new (std::nothrow) int[4];
        delete[] many;
    }
    if (r->blockSecondCall && cycle == 1) {
        r->inside = true;
        while (!r->release.load()) std::this_thread::yield();
    }
    r->calls.fetch_add(1);
    return 0;
}

bool waitFor(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double expected(double levels, UInt32 channel, std::uint64_t frame) {
    return levels * ((channel + 1) / 16.0 + double(frame % 1000) / 1000000.0);
}

class IO : public SimTest {
protected:
    void useTap(const nlohmann::json& tap) {
        auto description = studio();
        description["tap"] = tap;
        use(description);
    }

    // Tap, aggregate device, IO procedure, started.
    void start(CATapDescription description, Recorder& recorder) {
        description.uuid = apple::newUUIDString();
        ASSERT_EQ(AudioHardwareCreateProcessTap(&description, &tap), 0);
        const CFDictionaryRef aggregate = apple::aggregateDescription("Sorvane tap", apple::newUUIDString(),
                                                                      description.uuid);
        ASSERT_EQ(AudioHardwareCreateAggregateDevice(aggregate, &device), 0);
        CFRelease(aggregate);
        ASSERT_EQ(AudioDeviceCreateIOProcID(device, record, &recorder, &procID), 0);
        ASSERT_EQ(AudioDeviceStart(device, procID), 0);
    }

    void teardown() {
        EXPECT_EQ(AudioDeviceStop(device, procID), 0);
        EXPECT_EQ(AudioDeviceDestroyIOProcID(device, procID), 0);
        EXPECT_EQ(AudioHardwareDestroyAggregateDevice(device), 0);
        EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), 0);
    }

    AudioObjectID tap = 0;
    AudioObjectID device = 0;
    AudioDeviceIOProcID procID = nullptr;
};

CATapDescription mixdownOf(std::vector<AudioObjectID> processes) {
    CATapDescription d;
    d.processes = std::move(processes);
    return d;
}

TEST_F(IO, AStereoMixdownDeliversTheSumOfThePlayingProcesses) {
    useTap({{"clock", "fast"}, {"frames", 512}, {"cycles", 3}});
    Recorder r;
    start(mixdownOf({process(0), process(1), process(2)}), r);  // process 2 is silent
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 3; }));
    teardown();
    EXPECT_EQ(r.calls.load(), 3);  // the cycle limit holds
    EXPECT_EQ(r.buffers, 1u);
    EXPECT_EQ(r.channelsOfFirst, 2u);
    EXPECT_EQ(r.bytesOfFirst, 512u * 2 * 4);
    EXPECT_EQ(r.outputBuffers, 0u);
    for (std::size_t cycle = 0; cycle < 3; ++cycle) {
        EXPECT_EQ(r.sampleTimes[cycle], double(cycle * 512));
        for (std::size_t i = 0; i < 512; ++i) {
            const std::uint64_t n = cycle * 512 + i;  // frames count on across cycles
            for (UInt32 c = 0; c < 2; ++c) {
                ASSERT_NEAR(r.samples[cycle * maxFloatsPerCycle + i * 2 + c], expected(0.75, c, n), 1e-6)
                    << "cycle " << cycle << " frame " << i << " channel " << c;
            }
        }
    }
}

TEST_F(IO, ADeviceStreamTapDeliversThatStreamsChannelsOneBufferEach) {
    useTap({{"clock", "fast"}, {"frames", 256}, {"cycles", 4}, {"interleaved", false}, {"channels", 3}});
    Recorder r;
    CATapDescription d = mixdownOf({process(0)});
    d.mixdown = false;
    d.deviceUID = "studio";
    d.stream = 1;  // after a stream of 2 channels
    start(d, r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 4; }));
    teardown();
    EXPECT_EQ(r.buffers, 3u);
    EXPECT_EQ(r.channelsOfFirst, 1u);
    EXPECT_EQ(r.bytesOfFirst, 256u * 4);
    for (std::size_t cycle = 0; cycle < 4; ++cycle) {
        for (UInt32 k = 0; k < 3; ++k) {
            for (std::size_t i = 0; i < 256; ++i) {
                ASSERT_NEAR(r.samples[cycle * maxFloatsPerCycle + k * 256 + i], expected(0.5, 2 + k, cycle * 256 + i),
                            1e-6)
                    << "cycle " << cycle << " channel " << k << " frame " << i;
            }
        }
    }
}

TEST_F(IO, ABundleTapHearsTheProcessesCarryingTheBundle) {
    useTap({{"clock", "fast"}, {"frames", 64}, {"cycles", 1}});
    Recorder r;
    CATapDescription d = mixdownOf({});
    d.bundleIDs = {"com.example.browser"};  // one playing at 0.25, one silent
    start(d, r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 1; }));
    teardown();
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_NEAR(r.samples[i * 2 + 1], expected(0.25, 1, i), 1e-6);
    }
}

TEST_F(IO, TheRealtimeClockDeliversToo) {
    useTap({{"clock", "realtime"}, {"frames", 48}, {"cycles", 2}});
    Recorder r;
    start(mixdownOf({process(0)}), r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 2; }));
    teardown();
    EXPECT_EQ(r.sampleTimes[1], 48.0);
    EXPECT_NEAR(r.samples[maxFloatsPerCycle], expected(0.5, 0, 48), 1e-6);
}

TEST_F(IO, StopWaitsForTheCycleInProgressAndNoCallFollows) {
    useTap({{"clock", "fast"}, {"frames", 512}});
    Recorder r;
    r.blockSecondCall = true;
    start(mixdownOf({process(0)}), r);
    ASSERT_TRUE(waitFor([&] { return r.inside.load(); }));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        AudioDeviceStop(device, procID);
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped.load());  // the procedure is still in its cycle
    r.release = true;
    stopper.join();
    const int callsAtStop = r.calls.load();
    EXPECT_EQ(callsAtStop, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(r.calls.load(), callsAtStop);
    teardown();
}

TEST_F(IO, DestroyingTheDeviceStopsItsProcedureFirst) {
    useTap({{"clock", "fast"}, {"frames", 64}});
    Recorder r;
    start(mixdownOf({process(0)}), r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 2; }));
    EXPECT_EQ(AudioHardwareDestroyAggregateDevice(device), 0);
    const int callsAtDestroy = r.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(r.calls.load(), callsAtDestroy);
    EXPECT_EQ(AudioDeviceStart(device, procID), kAudioHardwareBadDeviceError);
}

TEST_F(IO, TheStopLineCountsAllocationsInsideTheProcedure) {
    useTap({{"clock", "fast"}, {"frames", 64}, {"cycles", 4}});
    Recorder quiet;
    start(mixdownOf({process(0)}), quiet);
    ASSERT_TRUE(waitFor([&] { return quiet.calls.load() >= 4; }));
    teardown();

    Recorder greedy;
    greedy.allocate = true;
    start(mixdownOf({process(0)}), greedy);
    ASSERT_TRUE(waitFor([&] { return greedy.calls.load() >= 4; }));
    teardown();

    const auto stops = calls("AudioDeviceStop");
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0]["procAllocations"], 0);
    EXPECT_EQ(stops[0]["cycles"], 4);
    EXPECT_EQ(stops[1]["procAllocations"], 4);
}

// The platform's counting operator new must not pair one form of the runtime's with another of
// its own: under the sanitizers that is a reported mismatch.
TEST_F(IO, NothrowAllocationsInsideTheProcedureCountAndPairWithDelete) {
    useTap({{"clock", "fast"}, {"frames", 64}, {"cycles", 3}});
    Recorder greedy;
    greedy.allocateNothrow = true;
    start(mixdownOf({process(0)}), greedy);
    ASSERT_TRUE(waitFor([&] { return greedy.calls.load() >= 3; }));
    teardown();

    const auto stops = calls("AudioDeviceStop");
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0]["procAllocations"], 6);
}

// Signals go to the program's threads, never to the platform's: under ThreadSanitizer a SIGTERM
// taken by the IO thread waited there, unhandled, while the thread waited for its stop.
TEST_F(IO, TheIOThreadTakesNoSignalsAndTheCallerKeepsItsOwn) {
    useTap({{"clock", "fast"}, {"frames", 64}, {"cycles", 1}});
    Recorder r;
    start(mixdownOf({process(0)}), r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 1; }));
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGTERM), 0);
    teardown();
    EXPECT_TRUE(r.terminationBlocked);
}

TEST_F(IO, CreatesStopsAndDestroysAreLoggedInOrder) {
    useTap({{"clock", "fast"}, {"frames", 64}, {"cycles", 1}});
    Recorder r;
    start(mixdownOf({process(0)}), r);
    ASSERT_TRUE(waitFor([&] { return r.calls.load() >= 1; }));
    teardown();
    std::vector<std::string> order;
    for (const auto& line : machine().log()) {
        const std::string fn = line.value("fn", "");
        if (fn.rfind("AudioHardware", 0) == 0 || fn.rfind("AudioDevice", 0) == 0) {
            order.push_back(fn);
            EXPECT_EQ(line["status"], 0) << fn;
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"AudioHardwareCreateProcessTap", "AudioHardwareCreateAggregateDevice",
                                               "AudioDeviceCreateIOProcID", "AudioDeviceStart", "AudioDeviceStop",
                                               "AudioDeviceDestroyIOProcID", "AudioHardwareDestroyAggregateDevice",
                                               "AudioHardwareDestroyProcessTap"}));
}

TEST_F(IO, FileDevicesHaveNoIOProcedures) {
    use(studio());
    AudioDeviceIOProcID id = nullptr;
    Recorder r;
    EXPECT_EQ(AudioDeviceCreateIOProcID(platform_test::device(0), record, &r, &id), kAudioHardwareUnsupportedOperationError);
    EXPECT_EQ(AudioDeviceCreateIOProcID(4242, record, &r, &id), kAudioHardwareBadDeviceError);
}

}  // namespace
}  // namespace platform_test
