// The aggregate device description of a private device that holds one tap, and UUID text.
#include "apple.h"
#include "ns_text.h"

#import <CoreAudio/CoreAudio.h>
#import <Foundation/Foundation.h>

namespace apple {

CFDictionaryRef aggregateDescription(const std::string& name, const std::string& uid, const std::string& tapUUID) {
    @autoreleasepool {
        NSDictionary* description = @{
            @kAudioAggregateDeviceNameKey : nsText(name),
            @kAudioAggregateDeviceUIDKey : nsText(uid),
            @kAudioAggregateDeviceIsPrivateKey : @YES,
            @kAudioAggregateDeviceIsStackedKey : @NO,
            @kAudioAggregateDeviceTapAutoStartKey : @YES,
            @kAudioAggregateDeviceTapListKey : @[ @{@kAudioSubTapUIDKey : nsText(tapUUID)} ],
        };
        // Toll-free bridged; the caller owns the reference.
        return static_cast<CFDictionaryRef>(CFBridgingRetain(description));
    }
}

std::string newUUIDString() {
    @autoreleasepool {
        return stdText([NSUUID UUID].UUIDString).value_or("");
    }
}

}  // namespace apple
