// The entry of sorvane-tap: one list or one capture run, from start to teardown.
#pragma once

namespace tap {

// Runs the program; the exit status of a list or of a capture that ended normally. Failures
// end the process themselves with status 1.
int run(int argc, char** argv);

}  // namespace tap
