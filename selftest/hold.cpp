#include "selftest/hold.h"

#include "selftest/lines.h"

#include <cstdio>

namespace selftest {

int hasReport(const std::string& path, const std::string& type) {
    auto lines = readLines(path);
    return lines && firstOfType(*lines, type) ? 0 : 1;
}

int checkHold(const std::string& path, bool changed) {
    auto lines = readLines(path);
    if (!lines || lines->empty()) {
        return failed("the switch reported nothing");
    }
    if (auto error = firstOfType(*lines, "error")) {
        return failed("the switch failed: " + text(*error, "message").value_or(error->dump()));
    }
    const auto& switched = lines->front();
    if (text(switched, "type") != "switched") {
        return failed("the first report is not \"switched\": " + switched.dump());
    }
    auto snapshot = text(switched, "snapshot");
    if (snapshot != "kept" && snapshot != "taken") {
        return failed("the snapshot is neither \"kept\" nor \"taken\": " + switched.dump());
    }
    int restored = 0;
    for (const auto& line : *lines) {
        restored += text(line, "type") == "restored" ? 1 : 0;
    }
    if (restored != 1 || text(lines->back(), "type") != "restored") {
        return failed("the hold did not end with one \"restored\" report: " + std::to_string(restored) +
                      " of them, the last line " + lines->back().dump());
    }
    auto applied = switched.find("applied");
    if (changed && (applied == switched.end() || !applied->is_array() || applied->empty())) {
        auto skipped = switched.find("skipped");
        if (skipped != switched.end() && skipped->is_array() && !skipped->empty()) {
            std::printf("the switch skipped %s\n", skipped->dump().c_str());
            return 2;
        }
        return failed("the switch changed nothing: " + switched.dump());
    }
    return 0;
}

}  // namespace selftest
