// Aggregate devices around taps: the description check, creation and destruction.
#include "sim/call_log.h"
#include "sim/cf_objects.h"
#include "sim/io_thread.h"
#include "sim/objects.h"
#include "sim/state.h"

#include <set>

namespace {

using namespace sim;

const __CFDictionary* liveDictionary(CFTypeRef ref) {
    const cf::Object* object = cf::live(ref);
    return object != nullptr && object->kind == cf::Kind::dictionary ? static_cast<const __CFDictionary*>(object)
                                                                     : nullptr;
}

// The header documents these flags as CFNumbers: a CFBoolean, or anything else, is refused.
std::optional<bool> liveFlag(CFTypeRef ref) {
    const cf::Object* object = cf::live(ref);
    if (object == nullptr || object->kind != cf::Kind::number) return std::nullopt;
    return static_cast<const __CFNumber*>(object)->value != 0;
}

// The aggregate a description asks for, when it has exactly the six keys with the right types and
// every tap it lists exists.
std::optional<Aggregate> readDescription(const State& s, CFDictionaryRef description, std::vector<std::string>& uuids) {
    const __CFDictionary* dictionary = liveDictionary(description);
    if (dictionary == nullptr || dictionary->entries.size() != 6) return std::nullopt;
    Aggregate aggregate;
    std::set<std::string> seen;
    for (const auto& [key, value] : dictionary->entries) {
        const std::string* name = cf::liveText(key);
        if (name == nullptr || !seen.insert(*name).second) return std::nullopt;
        if (*name == kAudioAggregateDeviceNameKey || *name == kAudioAggregateDeviceUIDKey) {
            const std::string* text = cf::liveText(value);
            if (text == nullptr) return std::nullopt;
            (*name == kAudioAggregateDeviceNameKey ? aggregate.name : aggregate.uid) = *text;
        } else if (*name == kAudioAggregateDeviceIsPrivateKey || *name == kAudioAggregateDeviceIsStackedKey ||
                   *name == kAudioAggregateDeviceTapAutoStartKey) {
            const auto flag = liveFlag(value);
            if (!flag) return std::nullopt;
            (*name == kAudioAggregateDeviceIsPrivateKey   ? aggregate.isPrivate
             : *name == kAudioAggregateDeviceIsStackedKey ? aggregate.stacked
                                                          : aggregate.tapAutoStart) = *flag;
        } else if (*name == kAudioAggregateDeviceTapListKey) {
            const cf::Object* object = cf::live(value);
            if (object == nullptr || object->kind != cf::Kind::array) return std::nullopt;
            const auto& items = static_cast<const __CFArray*>(object)->items;
            if (items.empty()) return std::nullopt;
            for (CFTypeRef item : items) {
                const __CFDictionary* sub = liveDictionary(item);
                if (sub == nullptr || sub->entries.size() != 1) return std::nullopt;
                const std::string* subKey = cf::liveText(sub->entries[0].first);
                const std::string* uuid = cf::liveText(sub->entries[0].second);
                if (subKey == nullptr || *subKey != kAudioSubTapUIDKey || uuid == nullptr) return std::nullopt;
                AudioObjectID tap = kAudioObjectUnknown;
                for (const auto& [id, made] : s.taps) {
                    if (made.uuid == *uuid) tap = id;
                }
                if (tap == kAudioObjectUnknown) return std::nullopt;
                aggregate.taps.push_back(tap);
                uuids.push_back(*uuid);
            }
        } else {
            return std::nullopt;
        }
    }
    return aggregate;
}

}  // namespace

extern "C" {

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription, AudioObjectID* outDeviceID) {
    State& s = state();
    OSStatus status = 0;
    AudioObjectID made = kAudioObjectUnknown;
    std::optional<Aggregate> aggregate;
    std::vector<std::string> uuids;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Machine& m = s.machine();
        if (const auto fault = m.tap.fault("aggregate")) {
            status = *fault;
        } else if (outDeviceID == nullptr) {
            status = kAudioHardwareIllegalOperationError;
        } else {
            aggregate = readDescription(s, inDescription, uuids);
            bool clash = aggregate && m.deviceIndex(aggregate->uid).has_value();
            for (const auto& [id, other] : s.aggregates) clash = clash || (aggregate && other.uid == aggregate->uid);
            if (!aggregate || clash) status = kAudioHardwareIllegalOperationError;
        }
        if (status == 0) {
            made = ids::firstAggregate + s.aggregatesMade++;
            s.aggregates[made] = *aggregate;
            *outDeviceID = made;
        }
    }
    auto entry = log::call("AudioHardwareCreateAggregateDevice");
    entry["status"] = status;
    if (status == 0) {
        entry["created"] = made;
        entry["uid"] = aggregate->uid;
        entry["name"] = aggregate->name;
        entry["private"] = aggregate->isPrivate;
        entry["stacked"] = aggregate->stacked;
        entry["tapautostart"] = aggregate->tapAutoStart;
        entry["taps"] = uuids;
    }
    log::write(entry);
    return status;
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID) {
    State& s = state();
    OSStatus status = 0;
    std::optional<Aggregate> gone;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        s.machine();
        const auto found = s.aggregates.find(inDeviceID);
        if (found == s.aggregates.end()) {
            status = kAudioHardwareBadDeviceError;
        } else {
            gone = std::move(found->second);
            s.aggregates.erase(found);
        }
    }
    // Its IO procedures stop with it, each after its cycle in progress.
    if (gone) {
        for (auto& [proc, entry] : gone->procs) {
            if (entry.run) stopRun(*entry.run);
        }
    }
    auto entry = log::property("AudioHardwareDestroyAggregateDevice", inDeviceID, nullptr);
    entry["status"] = status;
    log::write(entry);
    return status;
}

}  // extern "C"
