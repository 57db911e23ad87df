// Simulated Core Audio hardware layer: the names, types and constants the programs use, with the
// real signatures, so the same program sources build against the real framework on macOS.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {

typedef UInt32 AudioObjectID;
typedef UInt32 AudioClassID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;
typedef AudioObjectID AudioDeviceID;
typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;
typedef UInt32 AudioChannelLayoutTag;

struct AudioObjectPropertyAddress {
    AudioObjectPropertySelector mSelector;
    AudioObjectPropertyScope mScope;
    AudioObjectPropertyElement mElement;
};

struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    AudioFormatID mFormatID;
    AudioFormatFlags mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};

struct AudioValueRange {
    Float64 mMinimum;
    Float64 mMaximum;
};

enum SMPTETimeType : UInt32 {};

struct SMPTETime {
    int16_t mSubframes;
    int16_t mSubframeDivisor;
    UInt32 mCounter;
    SMPTETimeType mType;
    UInt32 mFlags;
    int16_t mHours;
    int16_t mMinutes;
    int16_t mSeconds;
    int16_t mFrames;
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
};

struct AudioChannelDescription {
    UInt32 mChannelLabel;
    UInt32 mChannelFlags;
    Float32 mCoordinates[3];
};

struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag;
    UInt32 mChannelBitmap;
    UInt32 mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1];
};

typedef OSStatus (*AudioDeviceIOProc)(AudioObjectID inDevice, const AudioTimeStamp* inNow,
                                      const AudioBufferList* inInputData, const AudioTimeStamp* inInputTime,
                                      AudioBufferList* outOutputData, const AudioTimeStamp* inOutputTime,
                                      void* inClientData);
typedef AudioDeviceIOProc AudioDeviceIOProcID;

typedef OSStatus (*AudioObjectPropertyListenerProc)(AudioObjectID inObjectID, UInt32 inNumberAddresses,
                                                    const AudioObjectPropertyAddress* inAddresses,
                                                    void* inClientData);

enum : AudioObjectID { kAudioObjectUnknown = 0 };
// The platform declares it as a plain int, unlike the unknown object above.
enum : int { kAudioObjectSystemObject = 1 };

enum : UInt32 {
    kAudioObjectPropertyScopeGlobal = 0x676C6F62,  // 'glob'
    kAudioObjectPropertyScopeInput = 0x696E7074,   // 'inpt'
    kAudioObjectPropertyScopeOutput = 0x6F757470,  // 'outp'
    kAudioObjectPropertyElementMain = 0,
};

enum : UInt32 {
    kAudioTimeStampSampleTimeValid = 1,
    kAudioTimeStampHostTimeValid = 2,
    kAudioTimeStampRateScalarValid = 4,
};

enum : UInt32 {
    kAudioFormatLinearPCM = 0x6C70636D,  // 'lpcm'
    kAudioFormatFlagIsFloat = 0x1,
    kAudioFormatFlagIsSignedInteger = 0x4,
    kAudioFormatFlagIsPacked = 0x8,
    kAudioFormatFlagIsNonInterleaved = 0x20,
};

enum : OSStatus {
    kAudioHardwareNoError = 0,
    kAudioHardwareUnknownPropertyError = 0x77686F3F,      // 'who?'
    kAudioHardwareBadPropertySizeError = 0x2173697A,      // '!siz'
    kAudioHardwareIllegalOperationError = 0x6E6F7065,     // 'nope'
    kAudioHardwareBadObjectError = 0x216F626A,            // '!obj'
    kAudioHardwareBadDeviceError = 0x21646576,            // '!dev'
    kAudioHardwareUnsupportedOperationError = 0x756E6F70, // 'unop'
    kAudioHardwareUnspecifiedError = 0x77686174,          // 'what'
};

enum : AudioObjectPropertySelector {
    kAudioHardwarePropertyRunLoop = 0x726E6C70,                  // 'rnlp'
    kAudioHardwarePropertyDevices = 0x64657623,                  // 'dev#'
    kAudioHardwarePropertyDefaultOutputDevice = 0x644F7574,      // 'dOut'
    kAudioHardwarePropertyDefaultInputDevice = 0x64496E20,       // 'dIn '
    kAudioHardwarePropertyTranslateUIDToDevice = 0x75696464,     // 'uidd'
    kAudioHardwarePropertyProcessObjectList = 0x70727323,        // 'prs#'
    kAudioHardwarePropertyTranslatePIDToProcessObject = 0x69643270,  // 'id2p'
    kAudioHardwarePropertyServiceRestarted = 0x73727374,         // 'srst'
    kAudioDeviceProcessorOverload = 0x6F766572,                  // 'over'
    kAudioDevicePropertyIOStoppedAbnormally = 0x73747064,        // 'stpd'
    kAudioDevicePropertyDeviceUID = 0x75696420,                  // 'uid '
    kAudioDevicePropertyDeviceCanBeDefaultDevice = 0x64666C74,   // 'dflt'
    kAudioObjectPropertyName = 0x6C6E616D,                       // 'lnam'
    kAudioDevicePropertyNominalSampleRate = 0x6E737274,          // 'nsrt'
    kAudioDevicePropertyAvailableNominalSampleRates = 0x6E737223,  // 'nsr#'
    kAudioDevicePropertyStreamConfiguration = 0x736C6179,        // 'slay'
    kAudioDevicePropertyPreferredChannelLayout = 0x73726E64,     // 'srnd'
    kAudioDevicePropertyVolumeScalar = 0x766F6C6D,               // 'volm'
    kAudioDevicePropertyStreams = 0x73746D23,                    // 'stm#'
    kAudioStreamPropertyVirtualFormat = 0x73666D74,              // 'sfmt'
    kAudioTapPropertyFormat = 0x74666D74,                        // 'tfmt'
    kAudioTapPropertyDescription = 0x74647363,                   // 'tdsc'
    kAudioProcessPropertyPID = 0x70706964,                       // 'ppid'
    kAudioProcessPropertyBundleID = 0x70626964,                  // 'pbid'
    kAudioProcessPropertyIsRunningOutput = 0x7069726F,           // 'piro'
    kAudioProcessPropertyDevices = 0x70647623,                   // 'pdv#'
};

#define kAudioAggregateDeviceNameKey "name"
#define kAudioAggregateDeviceUIDKey "uid"
#define kAudioAggregateDeviceIsPrivateKey "private"
#define kAudioAggregateDeviceIsStackedKey "stacked"
#define kAudioAggregateDeviceTapAutoStartKey "tapautostart"
#define kAudioAggregateDeviceTapListKey "taps"
#define kAudioSubTapUIDKey "uid"

Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress);
OSStatus AudioObjectIsPropertySettable(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                       Boolean* outIsSettable);
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData,
                                        UInt32* outDataSize);
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData);
OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32 inDataSize,
                                    const void* inData);

OSStatus AudioObjectAddPropertyListener(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        AudioObjectPropertyListenerProc inListener, void* inClientData);
OSStatus AudioObjectRemovePropertyListener(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                           AudioObjectPropertyListenerProc inListener, void* inClientData);

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription, AudioObjectID* outDeviceID);
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

OSStatus AudioDeviceCreateIOProcID(AudioObjectID inDevice, AudioDeviceIOProc inProc, void* inClientData,
                                   AudioDeviceIOProcID* outIOProcID);
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);
OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);

}  // extern "C"
