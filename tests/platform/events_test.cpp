// The one wait, on the kernel's own events: a Mac's kqueue and Linux's signalfd, pidfd and eventfd
// must tell of the same things.
#include "events.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// A child that lives until it is killed, and is killed and reaped at the end of the scope.
struct Child {
    pid_t pid = fork();
    Child() {
        if (pid == 0) {
            for (;;) {
                pause();
            }
        }
    }
    ~Child() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};

const sigset_t noSignals = [] {
    sigset_t set;
    sigemptyset(&set);
    return set;
}();

}  // namespace

// A stop sent before the wait is made is never told of, as a Mac's kqueue hears only of signals
// generated after its filter is added, even while that one is still pending; one sent after is
// told of, once. In a child of its own, whose one thread keeps SIGUSR1 blocked: a signal sent
// to this process could reach another thread that has it open.
TEST(Events, TellsOnlyOfSignalsSentAfterItIsMade) {
    const pid_t child = fork();
    if (child == 0) {
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        sigprocmask(SIG_BLOCK, &usr1, nullptr);
        kill(getpid(), SIGUSR1);
        platform::Events events(usr1, getppid());
        if (!events.complete()) {
            _exit(1);
        }
        if (events.wait(100).signal) {
            _exit(2);
        }
        kill(getpid(), SIGUSR1);
        if (!events.wait(10000).signal) {
            _exit(3);
        }
        _exit(events.wait(0).signal ? 4 : 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0)
        << "1: not complete, 2: a signal sent before it was made was told of, 3: one sent after was not, "
        << "4: it was told of twice";
}

// The end of the watched process wakes the wait; a process already gone (here reaped) is told of
// at once.
TEST(Events, TellsOfTheProcessEnd) {
    pid_t pid;
    {
        Child child;
        pid = child.pid;
        platform::Events events(noSignals, pid);
        ASSERT_TRUE(events.complete());
        EXPECT_FALSE(events.wait(50).exited);
        kill(pid, SIGKILL);
        EXPECT_TRUE(events.wait(10000).exited);
    }
    platform::Events gone(noSignals, pid);
    EXPECT_TRUE(gone.complete());
    EXPECT_TRUE(gone.wait(10000).exited);
}

// What another thread hands over wakes the waiter; what is handed over before a wait counts, once
// however often it came.
TEST(Events, PostWakesTheWaiter) {
    Child child;
    platform::Events events(noSignals, child.pid);
    std::thread poster([&events] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        events.post();
    });
    const auto woken = events.wait(10000);
    poster.join();
    EXPECT_TRUE(woken.posted);
    EXPECT_FALSE(woken.signal || woken.exited);
    events.post();
    events.post();
    EXPECT_TRUE(events.wait(0).posted);
    EXPECT_FALSE(events.wait(0).posted);
}

// A pipe's reader going away wakes the waiter, and only that: data flowing through the pipe wakes
// nobody, whether it fills the pipe or drains it. Told at every wait from then on. A file has no
// reader to lose.
TEST(Events, ThePipesReaderGoingAway) {
    signal(SIGPIPE, SIG_IGN);
    Child child;  // first, so that it holds no end of the pipe
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    platform::Events events(noSignals, child.pid, ends[1]);
    ASSERT_TRUE(events.complete());
    std::thread flow([&ends] {
        char chunk[4096] = {};
        // The pipe fills and drains by turns, never past its room.
        for (int i = 0; i < 200; ++i) {
            (void)!write(ends[1], chunk, sizeof chunk);
            if (i % 4 == 3) {
                for (int part = 0; part < 4; ++part) (void)!read(ends[0], chunk, sizeof chunk);
            }
        }
    });
    const auto meanwhile = events.wait(300);
    flow.join();
    EXPECT_FALSE(meanwhile.outputGone || meanwhile.posted || meanwhile.signal || meanwhile.exited);
    close(ends[0]);
    EXPECT_TRUE(events.wait(10000).outputGone);
    EXPECT_TRUE(events.wait(0).outputGone);
    close(ends[1]);

    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    platform::Events onFile(noSignals, child.pid, fileno(file));
    EXPECT_FALSE(onFile.wait(50).outputGone);
    fclose(file);
}
