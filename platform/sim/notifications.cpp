#include "sim/notifications.h"

#include "sim/state.h"
#include "sim/taps.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

namespace sim::notify {

namespace {

// How often the machine file is looked at while a listener is added.
constexpr auto lookEvery = std::chrono::milliseconds(10);

struct Listener {
    AudioObjectID object;
    AudioObjectPropertyAddress address;
    AudioObjectPropertyListenerProc proc;
    void* client;
    AudioStreamBasicDescription seen;  // a tap's format as last told ('tfmt')

    bool same(AudioObjectID o, const AudioObjectPropertyAddress& a, AudioObjectPropertyListenerProc p, void* c) const {
        return object == o && address.mSelector == a.mSelector && address.mScope == a.mScope &&
               address.mElement == a.mElement && proc == p && client == c;
    }
};

struct Event {
    AudioObjectID object;
    AudioObjectPropertySelector selector;
};

// Leaked: the thread outlives static destruction.
struct Hub {
    std::once_flag started;
    std::mutex mutex;  // guards the members below; never held while a listener runs or the state is locked
    std::condition_variable wake;
    std::vector<Listener> listeners;
    std::vector<Event> posted;
    std::mutex delivering;  // held while listeners run on the notification thread
    std::mutex deliveringHere;  // held while listeners run on another thread (callHere)
    std::thread::id thread;
    bool waiting = false;  // the thread has reached its wait
    std::optional<std::string> processes;  // the process list as last looked at
};

Hub& hub() {
    static Hub* h = new Hub;
    return *h;
}

// Set while this thread runs listeners through callHere: a removal from inside one must not wait
// for itself.
thread_local bool callingHere = false;

// Still added: one removed meanwhile is not called. Hold `mutex`.
bool stillAdded(const Hub& h, const Listener& l) {
    for (const Listener& now : h.listeners) {
        if (now.same(l.object, l.address, l.proc, l.client)) return true;
    }
    return false;
}

// What one look at the machine finds: the format each watched tap has now, and the audio
// processes as a 'prs#' listener is told of them (who, with which bundle, playing or not).
struct Look {
    std::vector<std::pair<AudioObjectID, AudioStreamBasicDescription>> formats;
    std::string processes;
};

// Locks the state; reading the machine is also how this thread notices a service restart. The
// process list is read only for a 'prs#' listener.
Look lookNow(const std::vector<AudioObjectID>& watched, bool processes) {
    Look look;
    State& s = state();
    std::lock_guard<std::mutex> hold(s.mutex);
    const Machine& m = s.machine();
    for (AudioObjectID id : watched) {
        if (const auto tap = s.taps.find(id); tap != s.taps.end()) {
            look.formats.emplace_back(id, tapFormat(m, tap->second, tapCycle(s, id)));
        }
    }
    if (processes) {
        for (const Process& p : m.processes) {
            look.processes += std::to_string(p.pid) + (p.bundleId ? "=" + *p.bundleId : "") + (p.playing ? "+" : "-") + ";";
        }
    }
    return look;
}

bool differs(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b) {
    return a.mSampleRate != b.mSampleRate || a.mChannelsPerFrame != b.mChannelsPerFrame ||
           a.mFormatFlags != b.mFormatFlags || a.mBitsPerChannel != b.mBitsPerChannel;
}

// Each listener is called once with every address that changed on its object, as the header
// allows: a listener must look through them, since some may be ones it did not sign up for.
void deliver(Hub& h, const std::vector<Event>& events) {
    std::lock_guard<std::mutex> calling(h.delivering);
    std::vector<Listener> due;
    {
        std::lock_guard<std::mutex> hold(h.mutex);
        for (const Listener& l : h.listeners) {
            for (const Event& event : events) {
                if (l.object == event.object && l.address.mSelector == event.selector) {
                    due.push_back(l);
                    break;
                }
            }
        }
    }
    for (const Listener& l : due) {
        std::vector<AudioObjectPropertyAddress> changed;
        for (const Event& event : events) {
            if (event.object == l.object) {
                changed.push_back({event.selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain});
            }
        }
        {
            // One removed meanwhile is not called: its removal waits for `delivering` only when it
            // came after this look.
            std::lock_guard<std::mutex> hold(h.mutex);
            if (!stillAdded(h, l)) continue;
        }
        l.proc(l.object, UInt32(changed.size()), changed.data(), l.client);
    }
}

[[noreturn]] void loop() {
    Hub& h = hub();
    std::unique_lock<std::mutex> lock(h.mutex);
    h.waiting = true;
    h.wake.notify_all();
    while (true) {
        if (h.listeners.empty()) {
            h.wake.wait(lock, [&] { return !h.listeners.empty() || !h.posted.empty(); });
        } else if (h.posted.empty()) {
            h.wake.wait_for(lock, lookEvery, [&] { return !h.posted.empty(); });
        }
        std::vector<AudioObjectID> watched;
        const bool look = !h.listeners.empty();
        bool processes = false;
        for (const Listener& l : h.listeners) {
            if (l.address.mSelector == kAudioTapPropertyFormat) watched.push_back(l.object);
            processes = processes || l.address.mSelector == kAudioHardwarePropertyProcessObjectList;
        }
        lock.unlock();
        const Look now = look ? lookNow(watched, processes) : Look{};
        const auto& formats = now.formats;
        lock.lock();
        std::vector<Event> events = std::move(h.posted);
        h.posted.clear();
        if (processes && h.processes && *h.processes != now.processes) {
            events.push_back(Event{kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList});
        }
        h.processes = processes ? std::optional<std::string>(now.processes) : std::nullopt;
        for (const auto& [tap, format] : formats) {
            bool changed = false;
            for (Listener& l : h.listeners) {
                if (l.object == tap && l.address.mSelector == kAudioTapPropertyFormat && differs(l.seen, format)) {
                    l.seen = format;
                    changed = true;
                }
            }
            if (changed) events.push_back(Event{tap, kAudioTapPropertyFormat});
        }
        if (events.empty()) continue;
        lock.unlock();
        deliver(h, events);
        lock.lock();
    }
}

}  // namespace

void begin() {
    Hub& h = hub();
    std::call_once(h.started, [&] {
        try {
            // Born with the caller's signal mask, as every new thread is.
            std::thread thread(loop);
            h.thread = thread.get_id();
            thread.detach();
        } catch (const std::system_error&) {
            // Without it no listener is ever called; the calls themselves still work.
            return;
        }
        // Not before the thread is parked in its wait: a process that forks right after its first
        // call (a test) must not copy a thread caught halfway through starting.
        std::unique_lock<std::mutex> lock(h.mutex);
        h.wake.wait(lock, [&] { return h.waiting; });
    });
}

OSStatus add(AudioObjectID object, const AudioObjectPropertyAddress& address, AudioObjectPropertyListenerProc proc,
             void* client, const AudioStreamBasicDescription& format) {
    Hub& h = hub();
    std::lock_guard<std::mutex> hold(h.mutex);
    for (const Listener& l : h.listeners) {
        if (l.same(object, address, proc, client)) return kAudioHardwareIllegalOperationError;
    }
    h.listeners.push_back(Listener{object, address, proc, client, format});
    h.wake.notify_all();
    return 0;
}

OSStatus remove(AudioObjectID object, const AudioObjectPropertyAddress& address,
                AudioObjectPropertyListenerProc proc, void* client) {
    Hub& h = hub();
    {
        std::lock_guard<std::mutex> hold(h.mutex);
        auto found = h.listeners.begin();
        while (found != h.listeners.end() && !found->same(object, address, proc, client)) ++found;
        if (found == h.listeners.end()) return kAudioHardwareIllegalOperationError;
        h.listeners.erase(found);
    }
    if (std::this_thread::get_id() != h.thread) {
        std::lock_guard<std::mutex> waitForCalls(h.delivering);
    }
    if (!callingHere) {
        std::lock_guard<std::mutex> waitForCalls(h.deliveringHere);
    }
    return 0;
}

void callHere(AudioObjectID object, AudioObjectPropertySelector selector) {
    Hub& h = hub();
    std::lock_guard<std::mutex> calling(h.deliveringHere);
    std::vector<Listener> due;
    {
        std::lock_guard<std::mutex> hold(h.mutex);
        for (const Listener& l : h.listeners) {
            if (l.object == object && l.address.mSelector == selector) due.push_back(l);
        }
    }
    const AudioObjectPropertyAddress changed{selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    callingHere = true;
    for (const Listener& l : due) {
        {
            std::lock_guard<std::mutex> hold(h.mutex);
            if (!stillAdded(h, l)) continue;
        }
        l.proc(l.object, 1, &changed, l.client);
    }
    callingHere = false;
}

void post(AudioObjectID object, std::initializer_list<AudioObjectPropertySelector> selectors) {
    Hub& h = hub();
    std::lock_guard<std::mutex> hold(h.mutex);
    for (AudioObjectPropertySelector selector : selectors) h.posted.push_back(Event{object, selector});
    h.wake.notify_all();
}

void forget() {
    Hub& h = hub();
    std::lock_guard<std::mutex> hold(h.mutex);
    h.listeners.clear();
    h.posted.clear();
    h.processes.reset();
}

}  // namespace sim::notify
