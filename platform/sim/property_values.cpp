#include "sim/properties.h"

namespace sim {

Reply objectList(const std::vector<AudioObjectID>& objects) {
    Reply r;
    r.itemSize = sizeof(AudioObjectID);
    r.bytes.resize(objects.size() * sizeof(AudioObjectID));
    if (!objects.empty()) {
        std::memcpy(r.bytes.data(), objects.data(), r.bytes.size());
    }
    return r;
}

Reply stringReply(std::optional<std::string> text) {
    Reply r;
    r.isString = true;
    r.text = std::move(text);
    return r;
}

AudioStreamBasicDescription floatFormat(double rate, UInt32 channels) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    f.mBytesPerPacket = 4 * channels;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4 * channels;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}

}  // namespace sim
