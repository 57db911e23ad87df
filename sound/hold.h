// The hold after a switch: whichever of the host's ways of letting go comes first restores, once.
#pragma once

#include "sound/files.h"
#include "sound/unsettled.h"

#include <signal.h>

namespace sound {

// Blocks SIGTERM, SIGINT and SIGHUP for the process, gives each its default action (never one
// inherited as ignored) and gives that set. Call on the main thread before any other thread
// exists, so that every later thread inherits the block.
sigset_t blockEndingSignals();

// Waits for the line "restore", the end of standard input, one of the blocked signals or a parent
// id other than the one read as the hold starts; then restores the folder's snapshot exactly once,
// writing back what the switch left `unsettled` whatever reads show, and exits with status 0.
[[noreturn]] void hold(const Files& folder, const sigset_t& signals, const Unsettled& unsettled);

}  // namespace sound
