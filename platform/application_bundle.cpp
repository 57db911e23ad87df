// Which application a process belongs to when the running-application lookup does not say: the
// same path rule on every platform, over each platform's path and bundle lookups.
#include "apple.h"

namespace apple {

std::optional<std::string> outermostAppBundle(std::string_view executable) {
    // Only the folders count: the executable's own name is no bundle, whatever it ends in.
    const std::size_t last = executable.rfind('/');
    if (last == std::string_view::npos) {
        return std::nullopt;
    }
    for (std::size_t start = 0; start < last;) {
        const std::size_t end = executable.find('/', start);
        const std::string_view name = executable.substr(start, end - start);
        if (name.size() > 4 && name.ends_with(".app")) {
            return std::string(executable.substr(0, end));
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string applicationBundleIdentifier(pid_t pid) {
    const auto app = runningApplication(pid);
    if (app && app->bundleIdentifier && !app->bundleIdentifier->empty()) {
        return *app->bundleIdentifier;
    }
    // The outermost bundle: a helper's own bundle nests inside its application's, under
    // Contents/Frameworks or Contents/XPCServices, often with an identifier of its own.
    const auto path = executablePath(pid);
    const auto bundle = path ? outermostAppBundle(*path) : std::nullopt;
    const auto identifier = bundle ? bundleIdentifierAt(*bundle) : std::nullopt;
    return identifier.value_or("");
}

}  // namespace apple
