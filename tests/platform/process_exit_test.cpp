// Waiting for a process to end on the platform's exit event.
#include "process_exit.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// A process that lives on is waited for until the timeout; one that ends, or is no more, is seen.
// (The host is not the child of the programs that watch it: a reaped process is watched here too.)
TEST(ProcessExit, SeenWhenTheProcessEnds) {
    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    EXPECT_FALSE(platform::waitForExit(child, 50));
    kill(child, SIGKILL);
    EXPECT_TRUE(platform::waitForExit(child, 10000));
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(platform::waitForExit(child, 10000));
    EXPECT_FALSE(platform::waitForExit(0, 0));
}
