// A process's executable path and a bundle's identifier, read from disk.
#include "apple.h"
#include "ns_text.h"

#include <CoreFoundation/CoreFoundation.h>
#include <libproc.h>

namespace apple {

std::optional<std::string> executablePath(pid_t pid) {
    char path[PROC_PIDPATHINFO_MAXSIZE] = {};
    if (proc_pidpath(pid, path, sizeof path) <= 0) {
        return std::nullopt;
    }
    return std::string(path);
}

std::optional<std::string> bundleIdentifierAt(const std::string& bundlePath) {
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bundlePath.data()), CFIndex(bundlePath.size()), true);
    if (url == nullptr) {
        return std::nullopt;
    }
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    if (bundle == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> identifier;
    // The identifier belongs to the bundle: copied out before the bundle is let go.
    @autoreleasepool {
        identifier = stdText((__bridge NSString*)CFBundleGetIdentifier(bundle));
    }
    CFRelease(bundle);
    return identifier;
}

}  // namespace apple
