// Audio object identifiers. The system is 1; devices and streams take their identifier from their
// place in the file, processes from their process id, so the same file gives the same identifiers
// in every process, and a process keeps its own while others come and go, as on a Mac; taps and
// aggregate devices count up from their own base in each process.
#pragma once

#include "sim/machine.h"

#include <CoreAudio/CoreAudio.h>

namespace sim::ids {

inline constexpr AudioObjectID gone = 99;               // a device this process still lists, since unplugged
inline constexpr AudioObjectID firstDevice = 100;       // 100 + device index
inline constexpr AudioObjectID firstStream = 100000;    // + 1000 × device index + stream index
inline constexpr AudioObjectID firstTap = 2000000;      // + taps made before
inline constexpr AudioObjectID firstAggregate = 3000000;  // + aggregate devices made before
inline constexpr AudioObjectID lastAggregate = 3999999;
inline constexpr AudioObjectID firstProcess = 0x40000000;  // + the process id's low 30 bits

AudioObjectID device(std::size_t index);
AudioObjectID process(const Process& process);
// Streams of a device are numbered output first, then input.
AudioObjectID stream(std::size_t deviceIndex, std::size_t streamIndex);

struct Ref {
    enum class Kind { none, system, device, stream, process, tap, aggregate };
    Kind kind = Kind::none;
    std::size_t index = 0;   // device, process; for taps and aggregates the identifier itself
    std::size_t stream = 0;  // for streams: index among the device's output then input streams
    bool outputStream = true;

    const Stream* streamOf(const Machine& m) const;
};

// What the identifier names in this machine. Taps and aggregate devices are only classified by
// range; whether one exists is for the caller to ask.
Ref resolve(const Machine& machine, AudioObjectID object);

}  // namespace sim::ids
