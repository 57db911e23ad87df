#include "tap/tap.h"

#include "apple.h"
#include "shared/arguments.h"
#include "shared/property.h"
#include "shared/report.h"
#include "tap/aggregate.h"
#include "tap/capture.h"
#include "tap/options.h"
#include "tap/processes.h"
#include "tap/run_state.h"
#include "tap/tap_description.h"
#include "process_exit.h"

#include <chrono>
#include <csignal>
#include <future>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// The parent's exit wakes the watch at once, a signal does not: the platform's wait goes on after
// one. Short waits keep a stop as quick as a poll that a signal cuts short.
constexpr int watchIntervalMs = 10;
// How often the stops are looked at while the start waits for sound.
constexpr int startLookMs = 5;

// Runs in the signal context: one lock-free store and nothing else.
void requestStop(int) {
    stopRequested.store(1);
}

// ThreadSanitizer sets up a thread's signal bookkeeping at the thread's first blocking call and
// drops a signal that arrives meanwhile. Left alone, that call is the watch loop's first sleep,
// just when a host may stop the capture; one blocking call before the handlers exist moves it.
void settleSignalBookkeeping() {
#if defined(__SANITIZE_THREAD__)
    usleep(0);
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    usleep(0);
#endif
#endif
}

void readOptions() {
    bundleID = arguments::value(args, "--bundle-id");
    // An empty identifier names no app; taken as one it would tap every process that has none.
    if (bundleID && bundleID->empty()) {
        bundleID.reset();
    }
    pids = parsePids(arguments::value(args, "--pid").value_or(""));
    if (!bundleID && pids.empty()) {
        report::failWithStatus("say which app: --bundle-id ID or --pid N; this never taps the whole Mac");
    }
    deviceUID = arguments::value(args, "--device");
    master = parseMaster(arguments::value(args, "--master").value_or("1"));
    if (deviceUID && master <= 0) {
        report::failWithStatus("--master is the first channel of the pair, from 1");
    }
}

void makeTapAndDevice() {
    firstChannel = 0;
    description = tapDescription();
    description->setName("Sorvane");
    description->setPrivate(true);
    description->setMuteBehavior(0);  // unmuted: the app goes on sounding as before
    // The device-stream initializer leaves it YES, which would tap everybody but the processes named.
    description->setExclusive(false);

    tap = kAudioObjectUnknown;
    status = apple::createProcessTap(*description, &tap);
    if (status != 0) {
        report::failWithStatus("couldn't make the tap", status);
    }

    // Built only now, so that its tap list names the tap that exists.
    aggregate = aggregateDescription("Sorvane tap", newUUIDString(), description->uuidString());
    if (aggregate == nullptr) {
        report::failWithStatus("couldn't make the tap's device");
    }
    device = kAudioObjectUnknown;
    status = AudioHardwareCreateAggregateDevice(aggregate, &device);
    // The platform keeps what it needs of the description; ours is released either way.
    CFRelease(aggregate);
    aggregate = nullptr;
    if (status != 0) {
        report::failWithStatus("couldn't make the tap's device", status);
    }
}

// What the watch compares: the tap's rate and channel count.
struct Format {
    double rate = 0;
    std::uint32_t channels = 0;
};

// The tap's current format ('tfmt'); nothing when it cannot be read or is not float32.
std::optional<Format> readFormat() {
    auto format = property::read(tap, property::address(kAudioTapPropertyFormat), AudioStreamBasicDescription{});
    if (!format || (format->mFormatFlags & kAudioFormatFlagIsFloat) == 0 || format->mBitsPerChannel != 32) {
        return std::nullopt;
    }
    return Format{format->mSampleRate, format->mChannelsPerFrame};
}

// Fails unless the tap's channels hold the pair.
void checkPair(const Format& format) {
    if (firstChannel + 2 > static_cast<std::int64_t>(format.channels)) {
        report::failWithStatus("the tap has " + std::to_string(format.channels) + " channels, not the pair asked for");
    }
}

// The tap's format, after checking that it delivers float32 with room for the pair.
Format checkFormat() {
    auto format = readFormat();
    if (!format) {
        report::failWithStatus("the tap's format isn't Float32");
    }
    checkPair(*format);
    return *format;
}

void sayFormat(const Format& format) {
    report::say({{"type", "format"}, {"rate", format.rate}, {"channels", 2}}, STDERR_FILENO);
}

void attachCapture() {
    interleaved = new float[interleavedSamples]();
    outputClosed.store(false);
    stopRequested.store(0);
    stopping.store(false);
    ioProc = captureCycle;

    settleSignalBookkeeping();
    // A closed output must come back from write as an error, not end the process.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTERM, requestStop);
    ::signal(SIGINT, requestStop);

    procID.reset();
    AudioDeviceIOProcID created = nullptr;
    status = AudioDeviceCreateIOProcID(device, ioProc, nullptr, &created);
    if (status != 0) {
        report::failWithStatus("couldn't attach to the tap's device", status);
    }
    procID = created;
}

// True when the host has gone: its exit seen, or we were handed to another parent. Waits up to
// `waitMs` for it.
bool parentGone(int waitMs) {
    if (getppid() != parent) {
        return true;
    }
    auto asked = std::chrono::steady_clock::now();
    if (platform::waitForExit(parent, waitMs)) {
        return true;
    }
    // A platform that cannot watch the parent answers at once: then this is a plain sleep.
    auto waited = std::chrono::steady_clock::now() - asked;
    if (waited < std::chrono::milliseconds(waitMs)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs) - waited);
    }
    return false;
}

// Starts the device; false when a stop came first. With "tapautostart" the start waits until a
// tapped process plays, which may be never: it runs on a thread of its own, with the process's
// signals blocked so that they reach the main thread, and the stops are watched meanwhile.
bool startCapture() {
    std::packaged_task<OSStatus()> start([] { return AudioDeviceStart(device, *procID); });
    std::future<OSStatus> started = start.get_future();
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    std::thread(std::move(start)).detach();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    while (started.wait_for(std::chrono::milliseconds(startLookMs)) != std::future_status::ready) {
        // The private tap and device go with the process.
        if (stopRequested.load() != 0 || getppid() != parent) {
            return false;
        }
    }
    status = started.get();
    if (status != 0) {
        report::failWithStatus("couldn't start the tap", status);
    }
    return true;
}

// Until a stop, a closed output or the host's end; meanwhile a changed format is reported, and
// one that no longer holds the pair ends the run.
void watch(Format format) {
    while (stopRequested.load() == 0 && !outputClosed.load()) {
        if (parentGone(watchIntervalMs)) {
            return;
        }
        auto now = readFormat();
        if (!now || (now->rate == format.rate && now->channels == format.channels)) {
            continue;
        }
        if (firstChannel + 2 > static_cast<std::int64_t>(now->channels)) {
            // No more audio after the report: the cycle in progress gives up and the device stops.
            stopping.store(true);
            AudioDeviceStop(device, *procID);
            checkPair(*now);
        }
        format = *now;
        sayFormat(format);
    }
}

void tearDown() {
    stopping.store(true);
    AudioDeviceStop(device, *procID);
    AudioDeviceDestroyIOProcID(device, *procID);
    AudioHardwareDestroyAggregateDevice(device);
    apple::destroyProcessTap(tap);
}

}  // namespace

int run(int argc, char** argv) {
    // Before any other platform call, so that the device and process views stay current.
    property::notifyOnOwnThread();
    args.assign(argv, argv + argc);
    auto host = apple::runningApplication(getppid());
    ownBundleID = host && host->bundleIdentifier ? *host->bundleIdentifier : "";

    if (listMode()) {
        listProcesses();
        return 0;
    }

    readOptions();
    makeTapAndDevice();
    Format format = checkFormat();
    attachCapture();
    parent = getppid();
    if (!startCapture()) {
        return 0;
    }
    sayFormat(format);
    watch(format);
    tearDown();
    return 0;
}

}  // namespace tap
