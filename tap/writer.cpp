#include "tap/writer.h"

#include "shared/report.h"
#include "tap/capture.h"
#include "tap/run_state.h"

#include <system_error>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// {"type":"dropped","frames":N,"at":M}: N frames of the app's audio are missing from the stream
// after its first M frames.
void sayDropped(const Gap& gap) {
    report::say({{"type", "dropped"},
                 {"frames", static_cast<long long>(gap.frames)},
                 {"at", static_cast<long long>(gap.at)}},
                STDERR_FILENO);
}

void writeOut() {
    // Nothing goes out before the "format" report: a host reads that first.
    while (!formatSaid.load()) {
        writerWake->wait();
    }
    while (true) {
        std::size_t frames = 0;
        const float* frame = ring->ready(frames);
        // Looked at after the frames: a gap is handed over before the frames behind it.
        const auto gap = ring->nextGap();
        const std::uint64_t out = ring->taken();
        if (gap && gap->at <= out) {
            sayDropped(*gap);
            ring->dropGap();
            continue;
        }
        if (gap && gap->at - out < frames) {
            frames = static_cast<std::size_t>(gap->at - out);
        }
        // A slow reader gets several cycles a write, but the ring gets its room back in steps.
        frames = frames < ring->frames() / 4 ? frames : ring->frames() / 4;
        if (frames == 0) {
            if (finishing.load()) {
                writerDone->wake();
                return;
            }
            writerWake->wait();
            continue;
        }
        writeAll(frame, frames * 2 * sizeof(float));
        if (outputClosed.load()) {
            events->post();
            return;
        }
        ring->release(frames);
    }
}

}  // namespace

bool startWriter() {
    try {
        std::thread(writeOut).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void startWriting() {
    formatSaid.store(true);
    writerWake->wake();
}

bool finishWriting(int timeoutMs) {
    // The IO procedure is called no more: what it was still counting as lost is handed over here.
    ring->closeGap();
    finishing.store(true);
    writerWake->wake();
    return writerDone->wait(timeoutMs);
}

}  // namespace tap
