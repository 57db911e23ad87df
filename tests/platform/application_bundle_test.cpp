// The application bundle an executable lies in, from its path alone.
#include "apple.h"

#include <gtest/gtest.h>

namespace {

TEST(AppBundle, OutermostAppFolderHoldingTheExecutable) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"/Applications/Host.app/Contents/Frameworks/Host Helper.app/Contents/MacOS/Host Helper", "/Applications/Host.app"},
        {"/usr/bin/zsh", std::nullopt},
        {"/usr/local/bin/tool.app", std::nullopt},  // the executable's own name
        {"/opt/Host.app.old/tool", std::nullopt},
        {"Host.app", std::nullopt},
    };
    for (const auto& [path, bundle] : cases) {
        EXPECT_EQ(apple::outermostAppBundle(path), bundle) << path;
    }
}

}  // namespace
