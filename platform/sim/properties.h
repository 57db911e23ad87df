// Property values of each kind of object. The call layer (property_calls.cpp) resolves the object,
// applies faults and sizes, and logs; these say what exists, what it reads and what a write does.
#pragma once

#include "sim/machine.h"
#include "sim/objects.h"
#include "sim/taps.h"

#include <cstdint>
#include <cstring>
#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// What a read hands back.
struct Reply {
    OSStatus status = 0;
    std::vector<std::uint8_t> bytes;
    UInt32 itemSize = 0;  // arrays: a short buffer takes fewer whole items; 0: the record is needed whole
    bool isString = false;  // a string reference: a new one with `text`, or null without
    std::optional<std::string> text;
    std::optional<CATapDescription> description;  // a tap's: a new object for the caller

    UInt32 size() const {
        if (description) return UInt32(sizeof(CATapDescription*));
        return isString ? UInt32(sizeof(CFStringRef)) : UInt32(bytes.size());
    }
};

struct Qualifier {
    UInt32 size = 0;
    const void* data = nullptr;
};

inline Reply failed(OSStatus status) {
    Reply r;
    r.status = status;
    return r;
}

template <class T>
Reply plain(const T& value) {
    Reply r;
    r.bytes.resize(sizeof(T));
    std::memcpy(r.bytes.data(), &value, sizeof(T));
    return r;
}

Reply stringReply(std::optional<std::string> text);

bool systemHas(const Machine& m, const AudioObjectPropertyAddress& a);
struct DeviceView;
// With a view, the device list, UID translation and defaults are the ones it holds.
Reply systemRead(const Machine& m, const DeviceView* view, const AudioObjectPropertyAddress& a, Qualifier q);
bool systemSettable(AudioObjectPropertySelector selector);
OSStatus systemWrite(const Machine& m, Document& doc, const AudioObjectPropertyAddress& a, const void* data,
                     UInt32 size);

bool deviceHas(const Device& d, const AudioObjectPropertyAddress& a);
Reply deviceRead(const Machine& m, std::size_t index, const AudioObjectPropertyAddress& a);
bool deviceSettable(AudioObjectPropertySelector selector);
OSStatus deviceWrite(const Machine& m, Document& doc, std::size_t index, const AudioObjectPropertyAddress& a,
                     const void* data, UInt32 size);

bool streamHas(const AudioObjectPropertyAddress& a);
Reply streamRead(const Machine& m, const ids::Ref& ref, const AudioObjectPropertyAddress& a);

bool processHas(const AudioObjectPropertyAddress& a);
Reply processRead(const Machine& m, const Process& p, const AudioObjectPropertyAddress& a);

bool tapHas(const AudioObjectPropertyAddress& a);
// 'tfmt' as it is at that IO cycle; 'tdsc' as last written.
Reply tapRead(const Machine& m, const CATapDescription& tap, const AudioObjectPropertyAddress& a,
              std::uint64_t cycle);

struct Aggregate;
bool aggregateHas(const AudioObjectPropertyAddress& a);
Reply aggregateRead(const Aggregate& aggregate, const AudioObjectPropertyAddress& a);

}  // namespace sim
