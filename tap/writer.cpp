#include "tap/writer.h"

#include "shared/report.h"
#include "tap/capture.h"
#include "tap/format.h"
#include "tap/run_state.h"

#include <system_error>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// {"type":"dropped","frames":N,"at":M}: N frames of the app's audio are missing from the stream
// after its first M frames. {"type":"format",...,"at":M}: the frames from stream frame M on are
// at the new rate.
void tell(const Note& note) {
    if (note.frames > 0) {
        report::say({{"type", "dropped"},
                     {"frames", static_cast<long long>(note.frames)},
                     {"at", static_cast<long long>(note.at)}},
                    STDERR_FILENO);
    }
    if (note.rate > 0) {
        sayFormat(Format{note.rate, 2}, note.at);
    }
}

void writeOut() {
    // Nothing goes out before the "format" report: a host reads that first.
    while (!formatSaid.load()) {
        writerWake->wait();
    }
    while (true) {
        std::size_t frames = 0;
        const float* frame = ring->ready(frames);
        // Looked at after the frames: a note is handed over before the frames behind it.
        const auto note = ring->nextNote();
        const std::uint64_t out = ring->taken();
        if (note && note->at <= out) {
            tell(*note);
            ring->dropNote();
            continue;
        }
        if (note && note->at - out < frames) {
            frames = static_cast<std::size_t>(note->at - out);
        }
        if (const auto end = ring->endsAt()) {
            if (*end <= out) {
                streamEnded.store(true);
                events->post();
                return;
            }
            frames = *end - out < frames ? static_cast<std::size_t>(*end - out) : frames;
        }
        // A slow reader gets several cycles a write, but the ring gets its room back in steps.
        frames = frames < ring->frames() / 4 ? frames : ring->frames() / 4;
        if (frames == 0) {
            if (finishing.load()) {
                // A last gap the notes had no room for is told all the same.
                if (const auto rest = ring->gapLeftOver()) {
                    tell(*rest);
                }
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
    // The IO procedure is called no more: a rate it had yet to mark, and what it was still
    // counting as lost, are handed over here.
    ring->followRate();
    ring->closeGap();
    finishing.store(true);
    writerWake->wake();
    return writerDone->wait(timeoutMs);
}

void endStream() {
    ring->closeGap();
    ring->end();
    writerWake->wake();
}

}  // namespace tap
