// Faults from the machine file: status, absent, read-only and null, each answering the calls as stated.
#include "sim_fixture.h"

namespace platform_test {
namespace {

using Faults = SimTest;

TEST_F(Faults, EachKindBehavesAsStated) {
    constexpr OSStatus no = 2003332927, unknown = kAudioHardwareUnknownPropertyError,
                       illegal = kAudioHardwareIllegalOperationError;
    // Where the fault goes, the fault, the property; then whether it is there and what asking whether
    // it is settable, reading it and writing it answer.
    const std::vector<std::tuple<const char*, nlohmann::json, AudioObjectID, AudioObjectPropertyAddress, bool,
                                 OSStatus, OSStatus, OSStatus>> cases = {
        {"/devices/0/faults/nsrt", no, device(0), at("nsrt"), true, no, no, no},
        {"/devices/0/faults/nsrt", "absent", device(0), at("nsrt"), false, unknown, unknown, unknown},
        {"/devices/0/faults/volm", "readonly", device(0), at("volm", out, 0), true, 0, 0, illegal},
        {"/devices/0/faults/lnam", "null", device(0), at("lnam"), true, 0, 0, illegal},
        {"/devices/2/faults/lnam", "null", device(2), at("lnam"), true, 0, 0, illegal},  // a name it lacks
        {"/faults/dOut", no, systemObject, at("dOut"), true, no, no, no},
        {"/faults/dev#", "absent", systemObject, at("dev#"), false, unknown, unknown, unknown},
        {"/processes/0/faults/piro", no, process(0), at("piro"), true, no, no, no},
        {"/processes/0/faults/pbid", "null", process(0), at("pbid"), true, 0, 0, illegal},
    };
    const long alive = sim::stringsAlive();
    for (const auto& [where, fault, object, address, has, asked, reads, writes] : cases) {
        auto description = studio();
        description[nlohmann::json::json_pointer(where)] = fault;
        use(description);
        const std::string what = where + (" " + fault.dump());
        EXPECT_EQ(AudioObjectHasProperty(object, &address) != 0, has) << what;
        Boolean settable = 1;
        EXPECT_EQ(AudioObjectIsPropertySettable(object, &address, &settable), asked) << what;
        EXPECT_TRUE(asked != 0 || settable == 0) << what;
        std::uint64_t value = 0;
        UInt32 size = sizeof value;
        EXPECT_EQ(AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value), reads) << what;
        EXPECT_TRUE(reads != 0 || (value == 0) == (fault == "null")) << what;  // a null reference, or the value
        const std::string before = fileText();
        EXPECT_EQ(AudioObjectSetPropertyData(object, &address, 0, nullptr, size, &value), writes) << what;
        EXPECT_EQ(fileText(), before) << what;
    }
    EXPECT_EQ(sim::stringsAlive(), alive);
}

}  // namespace
}  // namespace platform_test
