#include "tap/tap.h"

#include "apple.h"
#include "shared/arguments.h"
#include "shared/property.h"
#include "shared/report.h"
#include "tap/aggregate.h"
#include "tap/capture.h"
#include "tap/following.h"
#include "tap/format.h"
#include "tap/listeners.h"
#include "tap/options.h"
#include "tap/processes.h"
#include "tap/run_state.h"
#include "tap/tap_description.h"
#include "tap/watch.h"
#include "tap/writer.h"

#include <csignal>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace tap {

namespace {

// Runs in the signal context: one lock-free store and nothing else.
void requestStop(int) {
    stopRequested.store(1);
}

sigset_t stopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    return stops;
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

void attachCapture(const Format& format, const sigset_t& stops) {
    // Everything the IO procedure, the writer and the listeners touch is made before the start.
    const std::size_t frames = Ring::framesFor(format.rate);
    interleaved = new float[2 * frames]();
    ring = new Ring(interleaved, frames);
    writerWake = new platform::Wakeup;
    writerDone = new platform::Wakeup;
    outputClosed.store(false);
    ioProc = captureCycle;
    // Born while the stops are blocked, as every thread of the run is.
    if (!writerWake->ready() || !writerDone->ready() || !startWriter()) {
        report::failWithStatus("couldn't attach to the tap's device");
    }

    if (!events->complete()) {
        // The platform cannot hand the stops to the wait: the handler takes them, on this thread.
        pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    }

    procID.reset();
    AudioDeviceIOProcID created = nullptr;
    status = AudioDeviceCreateIOProcID(device, ioProc, nullptr, &created);
    if (status != 0) {
        report::failWithStatus("couldn't attach to the tap's device", status);
    }
    procID = created;
}

void tearDown() {
    stopListening();
    AudioDeviceStop(device, *procID);
    AudioDeviceDestroyIOProcID(device, *procID);
    AudioHardwareDestroyAggregateDevice(device);
    apple::destroyProcessTap(tap);
}

}  // namespace

int run(int argc, char** argv) {
    // The host is whoever started us: taken first, so that a host that dies while the capture
    // starts is seen to have gone.
    parent = getppid();
    // An action of SIG_IGN survives exec (a launcher's, nohup's), and a Mac's kernel throws such a
    // signal away even while it is blocked: the handler comes first, so no stop finds it ignored.
    struct sigaction inherited[2];
    sigaction(SIGTERM, nullptr, &inherited[0]);
    sigaction(SIGINT, nullptr, &inherited[1]);
    ::signal(SIGTERM, requestStop);
    ::signal(SIGINT, requestStop);
    // Before the first platform call: the threads the platform starts in the process are born with
    // this mask, and the stops stay pending for the one wait that takes them (or, in a list, for
    // their default effect).
    sigset_t stops = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    // Made at once: a Mac's kqueue tells only of a stop sent after it exists, and one sent while
    // the tap is being made would otherwise wait unseen for ever.
    // Standard output too: a reader that goes away while no audio comes is seen at once.
    events = new platform::Events(stops, parent, STDOUT_FILENO);
    // Before any other platform call, so that the device and process views stay current.
    property::notifyOnOwnThread();
    args.assign(argv, argv + argc);
    ownBundleID = apple::applicationBundleIdentifier(parent);

    if (listMode()) {
        // A list has nothing to stop cleanly and changes no signal's action: a stop has the
        // effect the launcher gave it.
        sigaction(SIGTERM, &inherited[0], nullptr);
        sigaction(SIGINT, &inherited[1], nullptr);
        pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
        listProcesses();
        return 0;
    }
    // Before anything can be reported: a closed standard error or output must come back from
    // write as an error, not end the process.
    ::signal(SIGPIPE, SIG_IGN);

    readOptions();
    makeTapAndDevice();
    Format format = checkFormat();
    attachCapture(format, stops);
    const bool listening = listen();
    // What changed between the list the tap was made from and the listener.
    followApplication();
    startWatched(listening);
    // The start may have waited long for sound: the format reported is the one the tap has now.
    format = formatAfterStart();
    ring->announceRate(format.rate);
    sayFormat(format);
    startWriting();
    watch(format, listening);
    tearDown();
    // Asked to stop: what the ring still holds goes out if the reader takes it soon. A reader
    // gone or not reading, or a host gone, has nothing to wait for.
    if (stopRequested.load() != 0 && !outputClosed.load()) {
        finishWriting(drainMs);
    }
    return 0;
}

}  // namespace tap
