#include "sound/hold.h"

#include "process_exit.h"
#include "sound/lines.h"
#include "sound/restore.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace sound {

namespace {

// Shared by the three watchers. Made once and never freed: the process ends while holding it.
struct Hold {
    Files folder;
    Unsettled unsettled;
    sigset_t signals;
    pid_t parent = 0;
    std::mutex lock;       // taken by the first watcher to fire and never released
    bool restored = false;  // read and written only under `lock`
};

// The one way out of the hold. A second watcher blocks on the lock until the process is gone,
// so the snapshot is put back at most once and only one "restored" report follows "switched".
[[noreturn]] void end(Hold& hold) {
    hold.lock.lock();
    if (!hold.restored) {
        hold.restored = true;
        restore(hold.folder, hold.unsettled);
    }
    std::exit(0);
}

void* waitForSignal(void* state) {
    auto& hold = *static_cast<Hold*>(state);
    int signal = 0;
    // Which signal does not matter. sigwait fails only on a bad set; then, as with a watcher
    // that cannot start, the hold is not to be trusted and ends at once.
    sigwait(&hold.signals, &signal);
    end(hold);
}

// Once a second: a changed parent id means the host is gone and we were handed on.
void* watchParent(void* state) {
    auto& hold = *static_cast<Hold*>(state);
    auto next = std::chrono::steady_clock::now();
    while (true) {
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
        if (getppid() != hold.parent) {
            end(hold);
        }
    }
}

// The same look at once: the platform's process-exit event fires the moment the host is gone.
// Where it cannot watch the parent, the timer above is left to see it.
void* awaitParentExit(void* state) {
    auto& hold = *static_cast<Hold*>(state);
    if (platform::waitForExit(hold.parent, -1)) {
        end(hold);
    }
    return nullptr;
}

// A watcher that cannot start would leave the host without that way out, so the hold is not
// to be trusted: put everything back at once.
void startWatcher(Hold& hold, void* (*watcher)(void*)) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, watcher, &hold) != 0) {
        end(hold);
    }
    pthread_detach(thread);
}

// The host's lines are one word; a longer line is read to its end and ignored.
constexpr std::size_t longestLine = 1 << 20;

}  // namespace

sigset_t blockEndingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    // An action of SIG_IGN survives exec (nohup's SIGHUP, a background job's SIGINT), and a Mac's
    // kernel throws such a signal away even while it is blocked: the waiter would never see it.
    // Set first, so that none arrives to find it ignored; before the block nothing is changed yet.
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        ::signal(number, SIG_DFL);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

void hold(const Files& folder, const sigset_t& signals, const Unsettled& unsettled) {
    auto* state = new Hold;
    state->folder = folder;
    state->unsettled = unsettled;
    state->signals = signals;
    startWatcher(*state, waitForSignal);
    // Read only now, after the report: a launcher that exits while the switch is under way is not
    // the host, which still holds standard input; a host that dies closes it.
    state->parent = getppid();
    startWatcher(*state, watchParent);
    startWatcher(*state, awaitParentExit);
    while (auto line = readLine(STDIN_FILENO, longestLine)) {
        if (!line->tooLong && trimSpaces(line->text) == "restore") {
            break;
        }
    }
    end(*state);
}

}  // namespace sound
