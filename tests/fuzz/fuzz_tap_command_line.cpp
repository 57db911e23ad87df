// Command lines of sorvane-tap: the options as the run reads them, and where the --master pair
// lies over the output streams of a device.
#include "fuzz_support.h"

#include "shared/arguments.h"
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

// Invariants of the place found for the pair starting at 1-based channel `master`: missing exactly
// when the pair lies past the channels, found where its first channel is, split only where a
// stream ends between its two channels.
void checkPlace(const std::vector<std::uint32_t>& counts, std::int64_t master) {
    tap::PairPlace place = tap::locatePair(tap::StreamCounts(counts.begin(), counts.end()), master);
    // A stream of unknown width ahead of the pair leaves its place unknown: never found past it.
    tap::StreamCounts unknownFirst = {std::nullopt};
    unknownFirst.insert(unknownFirst.end(), counts.begin(), counts.end());
    fuzz::require(master < 1 || tap::locatePair(unknownFirst, master).kind == tap::PairPlace::Kind::split,
                  "nothing is found past a stream of unknown width");
    std::int64_t total = 0;
    bool boundary = false;  // a stream ends after channel `master`
    for (auto count : counts) {
        total += count;
        boundary = boundary || total == master;
    }
    bool within = master >= 1 && master < total;
    fuzz::require((place.kind == tap::PairPlace::Kind::missing) == !within, "missing exactly past the channels");
    if (place.kind == tap::PairPlace::Kind::split) {
        fuzz::require(boundary, "split only where a stream ends");
    }
    if (place.kind == tap::PairPlace::Kind::found) {
        fuzz::require(place.stream < counts.size() && place.first + 2 <= counts[place.stream], "found in a stream");
        std::int64_t before = 0;
        for (std::size_t i = 0; i < place.stream; ++i) {
            before += counts[i];
        }
        fuzz::require(before + place.first + 1 == master, "found where the first channel is");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tap::args = fuzz::arguments(data, size);
    if (tap::listMode()) {
        return 0;
    }
    auto pids = tap::parsePids(arguments::value(tap::args, "--pid").value_or(""));
    fuzz::require(tap::parsePids(joined(pids)) == pids, "process ids read back from their decimal text");
    std::int64_t master = tap::parseMaster(arguments::value(tap::args, "--master").value_or("1"));
    fuzz::require(master == 0 || tap::parseMaster(std::to_string(master)) == master,
                  "a --master value reads back from its decimal text");
    // The run looks for the pair only with --device and a master from 1, but the place must hold for any value.
    for (const auto& counts : layouts) {
        checkPlace(counts, master);
    }
    return 0;
}
