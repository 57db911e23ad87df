// A settings file loaded from the folder: whatever bytes it holds, and a record that loads is
// kept and loaded back unchanged.
#include "fuzz_support.h"

#include "sound/files.h"
#include "sound/settings.h"

#include <string>
#include <string_view>

namespace {

constexpr std::size_t largestFile = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sound::Files folder{fuzz::scratchFolder()};
    std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::writeFile(folder.sorvane(), bytes);

    auto loaded = folder.load(folder.sorvane());
    // Files past a megabyte are not ours and are never read.
    if (size <= largestFile) {
        fuzz::require(loaded == sound::decode(bytes), "a file loads as its text reads");
    } else {
        fuzz::require(!loaded, "a file past a megabyte does not load");
    }
    if (!loaded) {
        return 0;
    }
    if (!folder.save(*loaded, folder.snapshot())) {
        fuzz::require(!sound::encode(*loaded), "only a record without a text fails to be kept");
        return 0;
    }
    fuzz::require(folder.load(folder.snapshot()) == loaded, "a kept record loads back unchanged");
    return 0;
}
