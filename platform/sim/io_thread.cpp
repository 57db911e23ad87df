// The IO thread of a started IO procedure, and the allocation count inside the procedure.
#include "sim/io_thread.h"
#include "sim/notifications.h"
#include "sim/state.h"
#include "sim/taps.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// Set on the IO thread only while the procedure runs: operator new counts into it.
thread_local std::atomic<std::uint64_t>* allocationsInProc = nullptr;

void count() {
    if (std::atomic<std::uint64_t>* counter = allocationsInProc) {
        counter->fetch_add(1, std::memory_order_relaxed);
    }
}

// The standard's loop: the new handler may free memory; without one the allocation has failed.
void* tryAllocate(std::size_t size) {
    if (size == 0) size = 1;
    while (true) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) return nullptr;
        handler();
    }
}

void* allocate(std::size_t size) {
    count();
    if (void* p = tryAllocate(size)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Every unaligned form is replaced, the nothrow ones too, so that whatever one of them allocates
// any of them frees: a sanitizer's own nothrow form paired with our delete would be a mismatch.
// The aligned forms stay the runtime's; they only ever pair with each other.
void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    count();
    return tryAllocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    count();
    return tryAllocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace sim {

struct IORun {
    // One cycle's copy from a precomputed table into a buffer the procedure sees.
    struct Copy {
        float* to;
        const float* from;
        std::size_t floatsPerFrame;  // step in `from` per frame of offset
        std::size_t count;           // floats per cycle
    };
    // What the tapped processes play, as tables and the copies out of them. A new one replaces it
    // whole when the processes change; the IO thread picks up the current one at each cycle.
    struct Mix {
        std::vector<TapSignal> signals;  // what it was made of, one per tap
        std::vector<std::vector<float>> tables;
        std::vector<Copy> copies;
    };
    // Where one tap's channels go in the input buffers, fixed at the start.
    struct Slot {
        AudioObjectID tap = 0;
        std::size_t firstBuffer = 0;
        UInt32 channels = 0;
        bool carriesSignal = false;
    };

    AudioObjectID device = 0;
    AudioDeviceIOProc proc = nullptr;
    void* client = nullptr;
    UInt32 frames = 0;
    double rate = 48000;
    bool interleaved = true;
    RateChanges rateChanges;  // from the machine file
    bool fast = false;
    std::optional<std::uint64_t> cycleLimit;
    std::optional<std::uint64_t> stopsAbnormally;  // IO stops outside the normal mechanisms at this cycle

    std::vector<Slot> slots;
    std::vector<std::vector<float>> buffers;
    std::vector<std::uint64_t> inputStorage;  // an AudioBufferList, 8-byte aligned
    AudioBufferList output{};
    // Every mix made, kept until the run goes, so the IO thread never reads a freed one. Touched
    // with the state's mutex held.
    std::vector<std::unique_ptr<Mix>> mixes;
    std::atomic<const Mix*> mix{nullptr};

    std::atomic<bool> stopping{false};
    std::mutex wake;
    std::condition_variable woken;
    std::mutex joining;
    std::thread thread;
    std::thread follower;  // follows the machine file's processes into the mix
    std::atomic<std::uint64_t> allocations{0};
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<std::int64_t> ioCalls{-1};  // read and write system calls in the procedure, once ended
    std::vector<std::pair<std::uint64_t, std::uint64_t>> overloads;  // from the machine file
    std::chrono::steady_clock::duration longestCall{};  // the IO thread's own until it ends

    AudioBufferList* input() { return reinterpret_cast<AudioBufferList*>(inputStorage.data()); }
};

namespace {

// The audio the simulated processes play: channel c of frame n of a process is
// level * ((c + 1) / 16 + (n % 1000) / 1000000), computed in double and rounded to float. The
// signal repeats every `period` frames.
constexpr std::uint64_t period = 1000;

float mix(const std::vector<double>& levels, UInt32 channel, std::uint64_t frame) {
    double sum = 0;
    for (double level : levels) {
        sum += float(level * ((channel + 1) / 16.0 + double(frame % period) / 1000000.0));
    }
    return float(sum);
}

// The mix of channels firstChannel .. firstChannel + channels - 1 for frames 0 .. period + frames - 1,
// so that the `frames` frames of any cycle lie in one piece starting at frame (n % period).
// Interleaved: frame after frame; otherwise channel after channel, each period + frames long.
std::vector<float> table(const std::vector<double>& levels, UInt32 firstChannel, UInt32 channels, UInt32 frames,
                         bool interleaved) {
    const std::size_t length = period + frames;
    std::vector<float> out(length * channels);
    for (std::size_t n = 0; n < length; ++n) {
        for (UInt32 c = 0; c < channels; ++c) {
            out[interleaved ? n * channels + c : c * length + n] = mix(levels, firstChannel + c, n);
        }
    }
    return out;
}

std::uint64_t hostTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000000ULL + std::uint64_t(now.tv_nsec);
}

AudioTimeStamp stamp(double sampleTime, std::uint64_t host) {
    AudioTimeStamp t{};
    t.mSampleTime = sampleTime;
    t.mHostTime = host;
    t.mRateScalar = 1;
    t.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid | kAudioTimeStampRateScalarValid;
    return t;
}

// Sleeps until `deadline` or a stop; true when stopping.
bool waitUntil(IORun& run, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(run.wake);
    return run.woken.wait_until(lock, deadline, [&] { return run.stopping.load(std::memory_order_acquire); });
}

// Write and read system calls this thread has made (/proc/thread-self/io): one read of its own,
// which the kernel counts once it has returned. Nothing where the system does not say.
std::optional<std::uint64_t> readsAndWrites() {
    const int fd = ::open("/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[512];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    text[n] = '\0';
    std::uint64_t sum = 0;
    for (const char* key : {"syscr: ", "syscw: "}) {
        const char* at = std::strstr(text, key);
        if (at == nullptr) return std::nullopt;
        sum += std::strtoull(at + std::strlen(key), nullptr, 10);
    }
    return sum;
}

// Nothing in a cycle allocates, locks, logs or touches a file: copies from the tables, the call.
// With the real-time clock the device keeps its deadlines as the HAL does: a procedure that returns
// after the next cycle's input is complete overloads it, and every cycle whose own deadline has
// passed by then is skipped.
void loop(IORun& run) {
    if (!run.fast) {
        // A Mac's IO thread runs at real-time priority, so nothing of the process it wakes takes
        // the processor from it mid-cycle. Where the system refuses, it runs as it is.
        sched_param realTime{};
        realTime.sched_priority = sched_get_priority_min(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime);
    }
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto at = [&](double seconds) {
        return start + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
    };
    const auto ioCallsBefore = readsAndWrites();
    AudioBufferList* input = run.input();
    std::uint64_t cycle = 0;   // cycles delivered
    std::uint64_t sample = 0;  // the input time of the next cycle, in frames
    double complete = 0;       // seconds from the start until the next cycle's input is complete
    std::size_t overload = 0;  // the next of the machine's "overloads"
    while (!run.stopping.load(std::memory_order_acquire)) {
        const bool stoppedAbnormally = run.stopsAbnormally && cycle >= *run.stopsAbnormally;
        if (stoppedAbnormally || (run.cycleLimit && cycle >= *run.cycleLimit)) {
            // The device stays started but delivers nothing more; an abnormal stop is told.
            if (stoppedAbnormally) notify::post(run.device, {kAudioDevicePropertyIOStoppedAbnormally});
            std::unique_lock<std::mutex> lock(run.wake);
            run.woken.wait(lock, [&] { return run.stopping.load(std::memory_order_acquire); });
            break;
        }
        const double rate = rateAt(run.rateChanges, run.rate, cycle);
        bool skipped = false;
        for (; overload < run.overloads.size() && run.overloads[overload].first <= cycle; ++overload) {
            // Lost to an overload another client caused: those frames' time has passed too.
            sample += run.overloads[overload].second;
            complete += double(run.overloads[overload].second) / rate;
            skipped = true;
        }
        // As the HAL does: from the IO thread, inside the cycle, synchronously.
        if (skipped) notify::callHere(run.device, kAudioDeviceProcessorOverload);
        complete += double(run.frames) / rate;
        if (!run.fast && waitUntil(run, at(complete))) break;
        const std::size_t offset = std::size_t(sample % period);
        for (const IORun::Copy& copy : run.mix.load(std::memory_order_acquire)->copies) {
            std::memcpy(copy.to, copy.from + offset * copy.floatsPerFrame, copy.count * sizeof(float));
        }
        const std::uint64_t host = hostTime();
        const AudioTimeStamp now = stamp(double(sample), host);
        const AudioTimeStamp inputTime = now;
        const AudioTimeStamp outputTime = stamp(double(sample + run.frames), host);
        run.output.mNumberBuffers = 0;
        allocationsInProc = &run.allocations;
        const auto called = clock::now();
        run.proc(run.device, &now, input, &inputTime, &run.output, &outputTime, run.client);
        const auto returned = clock::now();
        allocationsInProc = nullptr;
        run.longestCall = std::max(run.longestCall, returned - called);
        ++cycle;
        sample += run.frames;
        run.cycles.store(cycle, std::memory_order_relaxed);
        if (run.fast) continue;
        const double next = double(run.frames) / rateAt(run.rateChanges, run.rate, cycle);
        if (returned <= at(complete + next)) continue;
        // Overloaded: the HAL resynchronises, and the cycles whose deadline has passed are lost.
        while (returned > at(complete + 2 * next)) {
            complete += next;
            sample += run.frames;
        }
        notify::callHere(run.device, kAudioDeviceProcessorOverload);
    }
    const auto ioCallsAfter = readsAndWrites();
    if (ioCallsBefore && ioCallsAfter) {
        run.ioCalls.store(*ioCallsAfter - *ioCallsBefore - 1, std::memory_order_relaxed);
    }
}

bool sameSignal(const TapSignal& a, const TapSignal& b) {
    return a.levels == b.levels && a.firstChannel == b.firstChannel && a.channels == b.channels;
}

// A mix of what the taps hear now into the run's slots. Hold the state's mutex.
std::unique_ptr<IORun::Mix> makeMix(const IORun& run, std::vector<TapSignal> signals) {
    auto mix = std::make_unique<IORun::Mix>();
    mix->signals = std::move(signals);
    for (std::size_t t = 0; t < run.slots.size(); ++t) {
        const IORun::Slot& slot = run.slots[t];
        const TapSignal& signal = mix->signals[t];
        if (!slot.carriesSignal || slot.channels == 0) continue;
        // A description rewritten to another shape keeps the buffers the start laid out.
        mix->tables.push_back(table(signal.levels, signal.firstChannel, slot.channels, run.frames, run.interleaved));
        const float* from = mix->tables.back().data();
        if (run.interleaved) {
            mix->copies.push_back(IORun::Copy{const_cast<float*>(run.buffers[slot.firstBuffer].data()), from,
                                              slot.channels, std::size_t(run.frames) * slot.channels});
        } else {
            const std::size_t length = period + run.frames;
            for (UInt32 c = 0; c < slot.channels; ++c) {
                mix->copies.push_back(IORun::Copy{const_cast<float*>(run.buffers[slot.firstBuffer + c].data()),
                                                  from + c * length, 1, std::size_t(run.frames)});
            }
        }
    }
    return mix;
}

// Lays out the input buffers of every tap and makes the first mix.
void prepare(IORun& run, const Machine& machine, const std::vector<std::pair<AudioObjectID, const CATapDescription*>>& taps) {
    struct Buffer {
        UInt32 channels;
        std::size_t bytes;
    };
    std::vector<Buffer> layout;
    std::vector<TapSignal> signals;
    for (const auto& [id, tap] : taps) {
        const AudioStreamBasicDescription format = tapFormat(machine, *tap);
        signals.push_back(tapSignal(machine, *tap));
        const UInt32 channels = signals.back().channels;
        const std::size_t sampleBytes = format.mBitsPerChannel / 8;
        IORun::Slot slot;
        slot.tap = id;
        slot.firstBuffer = layout.size();
        slot.channels = channels;
        // Only 32-bit float taps carry the signal; other formats deliver silence of their size.
        slot.carriesSignal = machine.tap.isFloat && format.mBitsPerChannel == 32;
        if (run.interleaved) {
            layout.push_back(Buffer{channels, std::size_t(run.frames) * channels * sampleBytes});
        } else {
            for (UInt32 c = 0; c < channels; ++c) {
                layout.push_back(Buffer{1, std::size_t(run.frames) * sampleBytes});
            }
        }
        run.slots.push_back(slot);
    }
    for (const Buffer& buffer : layout) {
        run.buffers.emplace_back((buffer.bytes + 3) / 4, 0.0f);
    }
    run.inputStorage.assign((8 + 16 * std::max<std::size_t>(layout.size(), 1) + 7) / 8, 0);
    AudioBufferList* list = run.input();
    list->mNumberBuffers = UInt32(layout.size());
    for (std::size_t b = 0; b < layout.size(); ++b) {
        // Past the declared one-element array, within the storage sized above.
        auto* buffer = reinterpret_cast<AudioBuffer*>(reinterpret_cast<unsigned char*>(list) +
                                                      offsetof(AudioBufferList, mBuffers) + b * sizeof(AudioBuffer));
        buffer->mNumberChannels = layout[b].channels;
        buffer->mDataByteSize = UInt32(layout[b].bytes);
        buffer->mData = run.buffers[b].data();
    }
    run.mixes.push_back(makeMix(run, std::move(signals)));
    run.mix.store(run.mixes.back().get(), std::memory_order_release);
}

// How often the follower looks at the machine file: a process that quits or pauses is silent
// within a cycle or two, as on a Mac.
constexpr auto followEvery = std::chrono::milliseconds(5);

void follow(const std::shared_ptr<IORun>& run) {
    State& s = state();
    while (!waitUntil(*run, std::chrono::steady_clock::now() + followEvery)) {
        std::lock_guard<std::mutex> hold(s.mutex);
        if (run->stopping.load(std::memory_order_acquire)) break;
        followMachine(*run, s.machine(), s.taps);
    }
}

}  // namespace

void followMachine(IORun& run, const Machine& machine, const std::map<AudioObjectID, CATapDescription>& taps) {
    std::vector<TapSignal> signals;
    for (const IORun::Slot& slot : run.slots) {
        const auto found = taps.find(slot.tap);
        // A tap destroyed under a running device: its device keeps the last it heard.
        signals.push_back(found == taps.end() ? run.mix.load()->signals[signals.size()] : tapSignal(machine, found->second));
    }
    const std::vector<TapSignal>& now = run.mix.load()->signals;
    bool same = true;
    for (std::size_t t = 0; t < signals.size(); ++t) same = same && sameSignal(signals[t], now[t]);
    if (same) return;
    run.mixes.push_back(makeMix(run, std::move(signals)));
    run.mix.store(run.mixes.back().get(), std::memory_order_release);
}

std::shared_ptr<IORun> startRun(AudioObjectID device, AudioDeviceIOProc proc, void* client, const Machine& machine,
                                const std::vector<std::pair<AudioObjectID, const CATapDescription*>>& taps) {
    auto run = std::make_shared<IORun>();
    run->device = device;
    run->proc = proc;
    run->client = client;
    run->frames = machine.tap.frames;
    run->fast = machine.tap.fast;
    run->cycleLimit = machine.tap.cycles;
    run->stopsAbnormally = machine.tap.stopsAbnormally;
    run->rate = taps.empty() ? 48000 : tapFormat(machine, *taps.front().second).mSampleRate;
    if (!(run->rate > 0)) run->rate = 48000;
    run->rateChanges = machine.tap.rateChanges;
    run->overloads = machine.tap.overloads;
    run->interleaved = machine.tap.interleaved;
    prepare(*run, machine, taps);
    // The thread is born with the process's signals blocked, so they always go to the program's
    // own threads. A sanitizer that holds a handler until its thread's next intercepted call
    // would otherwise hold a SIGTERM for as long as this thread waits for its stop.
    sigset_t all, before;
    sigfillset(&all);
    for (int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) sigdelset(&all, synchronous);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    bool started = true;
    try {
        // The thread holds the run too, so a procedure that stops its own device stays safe.
        run->thread = std::thread([run] { loop(*run); });
        run->follower = std::thread([run] { follow(run); });
    } catch (const std::system_error&) {
        // Without its follower the run still plays what its processes played at the start.
        started = run->thread.joinable();
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return started ? run : nullptr;
}

void haltRun(IORun& run) {
    run.stopping.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(run.wake);
    }
    run.woken.notify_all();
}

void abandonRun(IORun& run) {
    haltRun(run);
    std::lock_guard<std::mutex> lock(run.joining);
    if (run.thread.joinable()) run.thread.detach();
    if (run.follower.joinable()) run.follower.detach();
}

RunTotals stopRun(IORun& run) {
    haltRun(run);
    bool joined = false;
    std::thread io, follower;
    {
        // Taken out first and joined without the lock: the follower, inside the state's lock, may
        // be abandoning the run itself meanwhile.
        std::lock_guard<std::mutex> lock(run.joining);
        io = std::move(run.thread);
        follower = std::move(run.follower);
    }
    for (std::thread* t : {&io, &follower}) {
        if (!t->joinable()) continue;
        if (t->get_id() == std::this_thread::get_id()) {
            t->detach();  // stopped from inside its own procedure: the cycle ends on return
        } else {
            t->join();
            joined = joined || t == &io;
        }
    }
    RunTotals totals{run.cycles.load(), run.allocations.load()};
    if (joined) {
        totals.ioCalls = run.ioCalls.load();
        totals.longestCallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(run.longestCall).count();
    }
    return totals;
}

std::uint64_t cyclesSoFar(const IORun& run) {
    return run.cycles.load(std::memory_order_relaxed);
}

}  // namespace sim
