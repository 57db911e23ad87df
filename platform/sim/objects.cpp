#include "sim/objects.h"

namespace sim::ids {

AudioObjectID device(std::size_t index) {
    return firstDevice + AudioObjectID(index);
}

AudioObjectID process(const Process& process) {
    return firstProcess + (AudioObjectID(process.pid) & 0x3FFFFFFFu);
}

AudioObjectID stream(std::size_t deviceIndex, std::size_t streamIndex) {
    return firstStream + AudioObjectID(deviceIndex * 1000 + streamIndex);
}

const Stream* Ref::streamOf(const Machine& m) const {
    if (kind != Kind::stream) return nullptr;
    const Device& d = m.devices[index];
    return outputStream ? &d.output[stream] : &d.input[stream - d.output.size()];
}

Ref resolve(const Machine& machine, AudioObjectID object) {
    Ref ref;
    if (object == kAudioObjectSystemObject) {
        ref.kind = Ref::Kind::system;
    } else if (object >= firstDevice && object < firstDevice + machine.devices.size()) {
        ref.kind = Ref::Kind::device;
        ref.index = object - firstDevice;
    } else if (object >= firstProcess) {
        // Two process ids that share their low 30 bits name the first of them.
        for (std::size_t i = 0; i < machine.processes.size(); ++i) {
            if (process(machine.processes[i]) != object) continue;
            ref.kind = Ref::Kind::process;
            ref.index = i;
            break;
        }
    } else if (object >= firstStream && object < firstTap) {
        const std::size_t d = (object - firstStream) / 1000;
        const std::size_t s = (object - firstStream) % 1000;
        if (d < machine.devices.size() && s < machine.devices[d].output.size() + machine.devices[d].input.size()) {
            ref.kind = Ref::Kind::stream;
            ref.index = d;
            ref.stream = s;
            ref.outputStream = s < machine.devices[d].output.size();
        }
    } else if (object >= firstTap && object < firstAggregate) {
        ref.kind = Ref::Kind::tap;
        ref.index = object;
    } else if (object >= firstAggregate && object <= lastAggregate) {
        ref.kind = Ref::Kind::aggregate;
        ref.index = object;
    }
    return ref;
}

}  // namespace sim::ids
