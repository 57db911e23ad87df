// Properties of the system object: devices, defaults, processes and the two translations.
#include "sim/cf_objects.h"
#include "sim/properties.h"

namespace sim {

namespace {

AudioObjectID deviceNamed(const Machine& m, const std::optional<std::string>& uid) {
    if (!uid) return kAudioObjectUnknown;
    const auto index = m.deviceIndex(*uid);
    return index ? ids::device(*index) : kAudioObjectUnknown;
}

}  // namespace

bool systemHas(const Machine&, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioHardwarePropertyDevices:
        case kAudioHardwarePropertyDefaultOutputDevice:
        case kAudioHardwarePropertyDefaultInputDevice:
        case kAudioHardwarePropertyTranslateUIDToDevice:
        case kAudioHardwarePropertyProcessObjectList:
        case kAudioHardwarePropertyTranslatePIDToProcessObject:
            return true;
        default:
            return false;
    }
}

Reply systemRead(const Machine& m, const AudioObjectPropertyAddress& a, Qualifier q) {
    switch (a.mSelector) {
        case kAudioHardwarePropertyDevices: {
            std::vector<AudioObjectID> list;
            for (std::size_t i = 0; i < m.devices.size(); ++i) list.push_back(ids::device(i));
            return objectList(list);
        }
        case kAudioHardwarePropertyDefaultOutputDevice:
            return plain<AudioObjectID>(deviceNamed(m, m.defaultOutput));
        case kAudioHardwarePropertyDefaultInputDevice:
            return plain<AudioObjectID>(deviceNamed(m, m.defaultInput));
        case kAudioHardwarePropertyTranslateUIDToDevice: {
            if (q.data == nullptr || q.size < sizeof(CFStringRef)) return failed(kAudioHardwareBadPropertySizeError);
            CFStringRef uid = nullptr;
            std::memcpy(&uid, q.data, sizeof uid);
            const std::string* text = cf::liveText(uid);
            if (text == nullptr) return failed(kAudioHardwareIllegalOperationError);
            // An unknown UID is not an error: the answer is no object.
            return plain<AudioObjectID>(deviceNamed(m, *text));
        }
        case kAudioHardwarePropertyProcessObjectList: {
            std::vector<AudioObjectID> list;
            for (std::size_t i = 0; i < m.processes.size(); ++i) list.push_back(ids::process(i));
            return objectList(list);
        }
        case kAudioHardwarePropertyTranslatePIDToProcessObject: {
            if (q.data == nullptr || q.size < sizeof(pid_t)) return failed(kAudioHardwareBadPropertySizeError);
            pid_t pid = 0;
            std::memcpy(&pid, q.data, sizeof pid);
            for (std::size_t i = 0; i < m.processes.size(); ++i) {
                if (m.processes[i].pid == pid) return plain<AudioObjectID>(ids::process(i));
            }
            return plain<AudioObjectID>(kAudioObjectUnknown);
        }
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

bool systemSettable(AudioObjectPropertySelector selector) {
    return selector == kAudioHardwarePropertyDefaultOutputDevice ||
           selector == kAudioHardwarePropertyDefaultInputDevice;
}

OSStatus systemWrite(const Machine& m, Document& doc, const AudioObjectPropertyAddress& a, const void* data,
                     UInt32 size) {
    if (data == nullptr) return kAudioHardwareIllegalOperationError;
    if (size < sizeof(AudioObjectID)) return kAudioHardwareBadPropertySizeError;
    AudioObjectID object = 0;
    std::memcpy(&object, data, sizeof object);
    const bool output = a.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
    const ids::Ref ref = ids::resolve(m, object);
    // Only a device that can play the role may take it.
    if (ref.kind != ids::Ref::Kind::device || m.devices[ref.index].channels(output) == 0) {
        return kAudioHardwareIllegalOperationError;
    }
    doc[output ? "defaultOutput" : "defaultInput"] = m.devices[ref.index].uid;
    return 0;
}

}  // namespace sim
