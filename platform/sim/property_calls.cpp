// The five property calls: object lookup, faults, sizes and the call log around the values that
// properties.h describes.
#include "base64.h"
#include "sim/call_log.h"
#include "sim/cf_objects.h"
#include "sim/notifications.h"
#include "sim/properties.h"
#include "sim/state.h"

#include <algorithm>
#include <chrono>

namespace {

using namespace sim;
using Kind = ids::Ref::Kind;

bool isStringSelector(AudioObjectPropertySelector selector) {
    return selector == kAudioDevicePropertyDeviceUID || selector == kAudioObjectPropertyName ||
           selector == kAudioProcessPropertyBundleID;
}

bool objectExists(State& s, const ids::Ref& ref) {
    switch (ref.kind) {
        case Kind::none:
            return false;
        case Kind::tap:
            return s.taps.count(AudioObjectID(ref.index)) != 0;
        case Kind::aggregate:
            return s.aggregates.count(AudioObjectID(ref.index)) != 0;
        default:
            return true;
    }
}

// The fault the file gives this property of this object. A status of 0 is no fault.
std::optional<Fault> faultOf(const Machine& m, const ids::Ref& ref, AudioObjectPropertySelector selector) {
    const Faults* faults = nullptr;
    switch (ref.kind) {
        case Kind::system:
            faults = &m.faults;
            break;
        case Kind::device:
            faults = &m.devices[ref.index].faults;
            break;
        case Kind::process:
            faults = &m.processes[ref.index].faults;
            break;
        case Kind::stream:
            if (selector == kAudioStreamPropertyVirtualFormat) {
                const auto& fault = ref.streamOf(m)->fault;
                if (fault && !(fault->kind == Fault::Kind::status && fault->status == 0)) return fault;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
    const auto found = faults->find(selector);
    if (found == faults->end() || (found->second.kind == Fault::Kind::status && found->second.status == 0)) {
        return std::nullopt;
    }
    return found->second;
}

// Whether the object has the property, faults aside.
bool plainHas(const Machine& m, const ids::Ref& ref, const AudioObjectPropertyAddress& a) {
    switch (ref.kind) {
        case Kind::system:
            return systemHas(m, a);
        case Kind::device:
            return deviceHas(m.devices[ref.index], a);
        case Kind::stream:
            return streamHas(a);
        case Kind::process:
            return processHas(a);
        case Kind::tap:
            return tapHas(a);
        case Kind::aggregate:
            return aggregateHas(a);
        default:
            return false;
    }
}

// Whether the object has the property as callers see it: faults included.
bool has(const Machine& m, const ids::Ref& ref, const AudioObjectPropertyAddress& a) {
    const auto fault = faultOf(m, ref, a.mSelector);
    if (fault && fault->kind == Fault::Kind::status) return true;
    if (fault && fault->kind == Fault::Kind::absent) return false;
    if (fault && fault->kind == Fault::Kind::null && isStringSelector(a.mSelector)) return true;
    return plainHas(m, ref, a);
}

bool settableSelector(const ids::Ref& ref, AudioObjectPropertySelector selector) {
    if (ref.kind == Kind::system) return systemSettable(selector);
    if (ref.kind == Kind::device) return deviceSettable(selector);
    return ref.kind == Kind::tap && selector == kAudioTapPropertyDescription;
}

Reply read(State& s, AudioObjectID object, const AudioObjectPropertyAddress* a, Qualifier q, bool sizeOnly) {
    if (a == nullptr) return failed(kAudioHardwareIllegalOperationError);
    const Machine& m = s.machine();
    const ids::Ref ref = ids::resolve(m, object);
    if (!objectExists(s, ref)) return failed(kAudioHardwareBadObjectError);
    const auto fault = faultOf(m, ref, a->mSelector);
    if (fault && fault->kind == Fault::Kind::status) return failed(fault->status);
    if (!has(m, ref, *a)) return failed(kAudioHardwareUnknownPropertyError);
    if (fault && fault->kind == Fault::Kind::null && isStringSelector(a->mSelector)) return stringReply(std::nullopt);
    switch (ref.kind) {
        case Kind::system:
            // The translations take their qualifier only when reading; their size is fixed.
            if (sizeOnly && (a->mSelector == kAudioHardwarePropertyTranslateUIDToDevice ||
                             a->mSelector == kAudioHardwarePropertyTranslatePIDToProcessObject)) {
                return plain<AudioObjectID>(0);
            }
            return systemRead(m, s.deviceView(), *a, q);
        case Kind::device:
            return deviceRead(m, ref.index, *a);
        case Kind::stream:
            return streamRead(m, ref, *a);
        case Kind::process:
            return processRead(m, m.processes[ref.index], *a);
        case Kind::tap:
            return tapRead(m, s.taps.find(AudioObjectID(ref.index))->second, *a,  // exists, checked above
                           tapCycle(s, AudioObjectID(ref.index)));
        case Kind::aggregate:
            return aggregateRead(s.aggregates.find(AudioObjectID(ref.index))->second, *a);
        default:
            return failed(kAudioHardwareBadObjectError);
    }
}

// Changes whose new value shows only some time after the write returned ("setDelayMs").
bool showsLate(const ids::Ref& ref, AudioObjectPropertySelector selector) {
    return (ref.kind == Kind::system && (selector == kAudioHardwarePropertyDefaultOutputDevice ||
                                         selector == kAudioHardwarePropertyDefaultInputDevice)) ||
           (ref.kind == Kind::device && selector == kAudioDevicePropertyNominalSampleRate);
}

// A read as this process sees it: a change still on its way gives the value from before it.
Reply visible(State& s, AudioObjectID object, const AudioObjectPropertyAddress* a, Qualifier q, bool sizeOnly) {
    Reply reply = read(s, object, a, q, sizeOnly);
    if (reply.status != 0 || s.pending.empty()) return reply;
    const auto found = s.pending.find({object, a->mSelector});
    if (found == s.pending.end()) return reply;
    if (std::chrono::steady_clock::now() >= found->second.shows) {
        s.pending.erase(found);
    } else {
        reply.bytes = found->second.bytes;
    }
    return reply;
}

void addQualifier(log::Entry& entry, const AudioObjectPropertyAddress* a, Qualifier q) {
    if (a == nullptr || q.data == nullptr) return;
    if (a->mSelector == kAudioHardwarePropertyTranslateUIDToDevice && q.size >= sizeof(CFStringRef)) {
        CFStringRef uid = nullptr;
        std::memcpy(&uid, q.data, sizeof uid);
        if (const std::string* text = cf::liveText(uid)) entry["uid"] = *text;
    } else if (a->mSelector == kAudioHardwarePropertyTranslatePIDToProcessObject && q.size >= sizeof(pid_t)) {
        pid_t pid = 0;
        std::memcpy(&pid, q.data, sizeof pid);
        entry["pid"] = pid;
    }
}

void addWrittenValue(log::Entry& entry, const AudioObjectPropertyAddress* a, const void* data, UInt32 size) {
    entry["size"] = size;
    if (a == nullptr || data == nullptr) return;
    switch (a->mSelector) {
        case kAudioHardwarePropertyDefaultOutputDevice:
        case kAudioHardwarePropertyDefaultInputDevice:
            if (size >= sizeof(AudioObjectID)) {
                AudioObjectID id = 0;
                std::memcpy(&id, data, sizeof id);
                entry["value"] = id;
            }
            break;
        case kAudioDevicePropertyNominalSampleRate:
            if (size >= sizeof(Float64)) {
                Float64 rate = 0;
                std::memcpy(&rate, data, sizeof rate);
                entry["value"] = rate;
            }
            break;
        case kAudioDevicePropertyVolumeScalar:
            if (size >= sizeof(Float32)) {
                Float32 scalar = 0;
                std::memcpy(&scalar, data, sizeof scalar);
                entry["value"] = double(scalar);
            }
            break;
        case kAudioDevicePropertyPreferredChannelLayout:
            entry["value"] = base64::encode({static_cast<const std::uint8_t*>(data), size});
            break;
        case kAudioTapPropertyDescription:
            if (size >= sizeof(CATapDescription*)) {
                const CATapDescription* description = nullptr;
                std::memcpy(&description, data, sizeof description);
                if (description != nullptr) entry["description"] = describe(*description);
            }
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" {

Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress) {
    State& s = state();
    bool result = false;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Machine& m = s.machine();
        const ids::Ref ref = ids::resolve(m, inObjectID);
        result = inAddress != nullptr && objectExists(s, ref) && has(m, ref, *inAddress);
    }
    auto entry = log::property("AudioObjectHasProperty", inObjectID, inAddress);
    entry["result"] = result;
    log::write(entry);
    return result ? 1 : 0;
}

OSStatus AudioObjectIsPropertySettable(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                       Boolean* outIsSettable) {
    State& s = state();
    OSStatus status = 0;
    bool settable = false;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Machine& m = s.machine();
        const ids::Ref ref = ids::resolve(m, inObjectID);
        if (inAddress == nullptr || outIsSettable == nullptr) {
            status = kAudioHardwareIllegalOperationError;
        } else if (!objectExists(s, ref)) {
            status = kAudioHardwareBadObjectError;
        } else if (const auto fault = faultOf(m, ref, inAddress->mSelector);
                   fault && fault->kind == Fault::Kind::status) {
            status = fault->status;
        } else if (!has(m, ref, *inAddress)) {
            status = kAudioHardwareUnknownPropertyError;
        } else {
            settable = !(fault && fault->kind == Fault::Kind::readOnly) && settableSelector(ref, inAddress->mSelector);
            *outIsSettable = settable ? 1 : 0;
        }
    }
    auto entry = log::property("AudioObjectIsPropertySettable", inObjectID, inAddress);
    entry["status"] = status;
    if (status == 0) entry["settable"] = settable;
    log::write(entry);
    return status;
}

OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData,
                                        UInt32* outDataSize) {
    State& s = state();
    OSStatus status = 0;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Reply reply = visible(s, inObjectID, inAddress, Qualifier{inQualifierDataSize, inQualifierData}, true);
        status = reply.status;
        if (status == 0 && outDataSize == nullptr) status = kAudioHardwareIllegalOperationError;
        if (status == 0) *outDataSize = reply.size();
    }
    auto entry = log::property("AudioObjectGetPropertyDataSize", inObjectID, inAddress);
    entry["status"] = status;
    if (status == 0) entry["size"] = *outDataSize;
    log::write(entry);
    if (auto then = s.afterSizeQuery.exchange(nullptr)) then();
    return status;
}

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData) {
    State& s = state();
    OSStatus status = 0;
    bool nullString = false;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Reply reply = visible(s, inObjectID, inAddress, Qualifier{inQualifierDataSize, inQualifierData}, false);
        status = reply.status;
        if (status == 0 && (ioDataSize == nullptr || outData == nullptr)) status = kAudioHardwareIllegalOperationError;
        if (status == 0) {
            if (reply.description) {
                if (*ioDataSize < sizeof(CATapDescription*)) {
                    status = kAudioHardwareBadPropertySizeError;
                } else {
                    // A new object; the caller releases it.
                    auto* made = new CATapDescription(*reply.description);
                    cf::adopt(made);
                    std::memcpy(outData, &made, sizeof made);
                    *ioDataSize = sizeof made;
                }
            } else if (reply.isString) {
                if (*ioDataSize < sizeof(CFStringRef)) {
                    status = kAudioHardwareBadPropertySizeError;
                } else {
                    // The caller owns the new reference.
                    const CFStringRef ref = reply.text ? cf::makeString(*reply.text) : nullptr;
                    nullString = ref == nullptr;
                    std::memcpy(outData, &ref, sizeof ref);
                    *ioDataSize = sizeof ref;
                }
            } else if (reply.itemSize != 0) {
                const std::size_t items = std::min(reply.bytes.size(), std::size_t(*ioDataSize)) / reply.itemSize;
                const std::size_t bytes = items * reply.itemSize;
                if (bytes > 0) std::memcpy(outData, reply.bytes.data(), bytes);
                *ioDataSize = UInt32(bytes);
            } else if (*ioDataSize < reply.bytes.size()) {
                status = kAudioHardwareBadPropertySizeError;
            } else {
                std::memcpy(outData, reply.bytes.data(), reply.bytes.size());
                *ioDataSize = UInt32(reply.bytes.size());
            }
        }
    }
    auto entry = log::property("AudioObjectGetPropertyData", inObjectID, inAddress);
    addQualifier(entry, inAddress, Qualifier{inQualifierDataSize, inQualifierData});
    entry["status"] = status;
    if (status == 0) entry["size"] = *ioDataSize;
    if (nullString) entry["null"] = true;
    log::write(entry);
    return status;
}

OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32 inDataSize,
                                    const void* inData) {
    (void)inQualifierDataSize;
    (void)inQualifierData;
    State& s = state();
    OSStatus status = 0;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const ids::Ref early = ids::resolve(s.machine(), inObjectID);
        if (inAddress == nullptr) {
            status = kAudioHardwareIllegalOperationError;
        } else if (early.kind == Kind::system && inAddress->mSelector == kAudioHardwarePropertyRunLoop) {
            // This process's own setting, not the machine's: NULL lets it see the file as it is.
            CFRunLoopRef loop = nullptr;
            if (inData == nullptr) {
                status = kAudioHardwareIllegalOperationError;
            } else if (inDataSize < sizeof loop) {
                status = kAudioHardwareBadPropertySizeError;
            } else {
                std::memcpy(&loop, inData, sizeof loop);
                s.ownNotificationThread = loop == nullptr;
                if (s.ownNotificationThread) s.firstView.reset();
            }
        } else if (early.kind == Kind::tap || early.kind == Kind::aggregate) {
            // Made by this process, not kept in the file; of theirs only a tap's description can
            // be set.
            status = !objectExists(s, early)                          ? kAudioHardwareBadObjectError
                     : !has(s.machine(), early, *inAddress)         ? kAudioHardwareUnknownPropertyError
                     : !settableSelector(early, inAddress->mSelector) ? kAudioHardwareIllegalOperationError
                         : writeDescription(s, inObjectID, inData, inDataSize);
        } else {
            const bool late = showsLate(early, inAddress->mSelector);
            const Reply before = late ? visible(s, inObjectID, inAddress, Qualifier{}, false) : Reply{};
            // Checked again on the file as it stands under the lock, so a device unplugged meanwhile
            // is never written.
            status = s.machineFile().update([&](const Machine& m, Document& doc) -> OSStatus {
                const ids::Ref ref = ids::resolve(m, inObjectID);
                if (!objectExists(s, ref)) return kAudioHardwareBadObjectError;
                const auto fault = faultOf(m, ref, inAddress->mSelector);
                if (fault && fault->kind == Fault::Kind::status) return fault->status;
                if (!has(m, ref, *inAddress)) return kAudioHardwareUnknownPropertyError;
                if (fault && fault->kind == Fault::Kind::readOnly) return kAudioHardwareIllegalOperationError;
                if (!settableSelector(ref, inAddress->mSelector)) return kAudioHardwareIllegalOperationError;
                if (ref.kind == Kind::system) return systemWrite(m, doc, *inAddress, inData, inDataSize);
                return deviceWrite(m, doc, ref.index, *inAddress, inData, inDataSize);
            });
            const double delayMs = s.machine().setDelayMs;
            if (status == 0 && late && before.status == 0 && delayMs > 0) {
                // Like a device changing its clock: the call returns at once, the value shows later.
                const auto shows = std::chrono::steady_clock::now() +
                                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double, std::milli>(delayMs));
                s.pending[{inObjectID, inAddress->mSelector}] = Pending{before.bytes, shows};
            }
        }
    }
    auto entry = log::property("AudioObjectSetPropertyData", inObjectID, inAddress);
    addWrittenValue(entry, inAddress, inData, inDataSize);
    entry["status"] = status;
    log::write(entry);
    return status;
}

}  // extern "C"

namespace {

// What AudioObjectAddPropertyListener and AudioObjectRemovePropertyListener check before the
// listener list is touched: the address, the procedure and the object. For a tap's format, the
// format it has now, which later changes are told against.
OSStatus checkListener(AudioObjectID object, const AudioObjectPropertyAddress* a, AudioObjectPropertyListenerProc proc,
                       AudioStreamBasicDescription* format) {
    if (a == nullptr || proc == nullptr) return kAudioHardwareIllegalOperationError;
    State& s = state();
    std::lock_guard<std::mutex> hold(s.mutex);
    const Machine& m = s.machine();
    const ids::Ref ref = ids::resolve(m, object);
    if (!objectExists(s, ref)) return kAudioHardwareBadObjectError;
    // A property that answers an error cannot be listened to either; the tap's "listen" fault
    // refuses every listener on a tap or its device.
    const auto fault = faultOf(m, ref, a->mSelector);
    if (fault && fault->kind == Fault::Kind::status) return fault->status;
    if (ref.kind == Kind::tap || ref.kind == Kind::aggregate) {
        if (const auto refused = m.tap.fault("listen")) return *refused;
    }
    if (format != nullptr && ref.kind == Kind::tap && a->mSelector == kAudioTapPropertyFormat) {
        *format = tapFormat(m, s.taps.find(object)->second, tapCycle(s, object));
    }
    return 0;
}

void logListener(const char* fn, AudioObjectID object, const AudioObjectPropertyAddress* a, OSStatus status) {
    auto entry = log::property(fn, object, a);
    entry["status"] = status;
    log::write(entry);
}

}  // namespace

extern "C" {

OSStatus AudioObjectAddPropertyListener(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        AudioObjectPropertyListenerProc inListener, void* inClientData) {
    AudioStreamBasicDescription format{};
    OSStatus status = checkListener(inObjectID, inAddress, inListener, &format);
    if (status == 0) status = notify::add(inObjectID, *inAddress, inListener, inClientData, format);
    logListener("AudioObjectAddPropertyListener", inObjectID, inAddress, status);
    return status;
}

OSStatus AudioObjectRemovePropertyListener(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                           AudioObjectPropertyListenerProc inListener, void* inClientData) {
    // An object gone meanwhile (a service restart) still lets go of its listeners.
    OSStatus status = inAddress == nullptr || inListener == nullptr ? kAudioHardwareIllegalOperationError : 0;
    // Not under the state's lock: the removal waits for a call in progress, which may read properties.
    if (status == 0) status = notify::remove(inObjectID, *inAddress, inListener, inClientData);
    logListener("AudioObjectRemovePropertyListener", inObjectID, inAddress, status);
    return status;
}

}  // extern "C"
