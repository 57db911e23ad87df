// Command lines of sorvane-tap: the options as the run reads them, and where the --master pair
// lies over the output streams of a device.
#include "fuzz_support.h"

#include "tap/options.h"
#include "tap/run_state.h"
#include "tap/streams.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

// Stream layouts a device may show, the degenerate ones included.
const std::vector<std::vector<std::uint32_t>> layouts = {
    {},
    {0},
    {2},
    {1, 1},
    {2, 8},
    {8, 2, 6},
    {0, 4, 0, 2},
    {1, 1, 1, 1, 1},
    {std::numeric_limits<std::uint32_t>::max(), std::numeric_limits<std::uint32_t>::max()},
};

std::string joined(const std::vector<std::int32_t>& pids) {
    std::string text;
    for (auto pid : pids) {
        text += (text.empty() ? "" : ",") + std::to_string(pid);
    }
    return text;
}

// The place against a count of every channel up to the pair.
void checkPlace(const std::vector<std::uint32_t>& counts, std::int64_t master) {
    tap::PairPlace place = tap::locatePair(counts, master);
    std::int64_t total = 0;
    for (auto count : counts) {
        total += count;
    }
    if (master < 1 || total <= master) {  // the pair needs master + 1 channels
        fuzz::require(place.kind == tap::PairPlace::Kind::missing, "a pair past the channels is missing");
        return;
    }
    // The streams holding 0-based channels master - 1 and master.
    std::int64_t start = 0;
    std::size_t firstStream = counts.size(), secondStream = counts.size();
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        std::int64_t end = start + counts[i];
        if (firstStream == counts.size() && master - 1 < end) {
            firstStream = i;
            offset = master - 1 - start;
        }
        if (secondStream == counts.size() && master < end) {
            secondStream = i;
        }
        start = end;
    }
    if (firstStream != secondStream) {
        fuzz::require(place.kind == tap::PairPlace::Kind::split, "a pair over two streams is split");
        return;
    }
    fuzz::require(place.kind == tap::PairPlace::Kind::found && place.stream == firstStream &&
                      place.first == offset && place.first + 2 <= counts[firstStream],
                  "a pair in one stream is found where it lies");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tap::args = fuzz::arguments(data, size);
    if (tap::listMode()) {
        return 0;
    }
    auto bundle = tap::option("--bundle-id");
    auto pids = tap::parsePids(tap::option("--pid").value_or(""));
    fuzz::require(tap::parsePids(joined(pids)) == pids, "process ids read back from their decimal text");
    auto device = tap::option("--device");
    std::int64_t master = tap::parseMaster(tap::option("--master").value_or("1"));
    fuzz::require(master == 0 || tap::parseMaster(std::to_string(master)) == master,
                  "a --master value reads back from its decimal text");
    if ((!bundle && pids.empty()) || !device) {
        return 0;  // the run stops here, or looks for no pair
    }
    // Below 1 the run stops too, but the location must hold for any value.
    for (const auto& counts : layouts) {
        checkPlace(counts, master);
    }
    return 0;
}
