// The running application of a process id.
#include "apple.h"
#include "ns_text.h"

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

namespace apple {

std::optional<RunningApplication> runningApplication(pid_t pid) {
    @autoreleasepool {
        NSRunningApplication* app = [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (app == nil) {
            return std::nullopt;
        }
        RunningApplication result;
        result.bundleIdentifier = stdText(app.bundleIdentifier);
        result.localizedName = stdText(app.localizedName);
        result.activationPolicy = static_cast<long>(app.activationPolicy);
        return result;
    }
}

}  // namespace apple
