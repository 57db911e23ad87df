#include "shared/report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace report {

void say(const json::Object& report, int fd) {
    auto text = json::write(json::Value(report));
    if (!text) {
        return;  // no JSON form: nothing at all, no partial line
    }
    *text += '\n';
    // One write per report; a failed or broken channel is not retried.
    ssize_t n;
    do {
        n = ::write(fd, text->data(), text->size());
    } while (n < 0 && errno == EINTR);
}

void fail(const std::string& message) {
    say({{"type", "error"}, {"message", message}}, STDOUT_FILENO);
    std::exit(1);
}

namespace {

void sayError(const std::string& message, std::int32_t status) {
    say({{"type", "error"}, {"message", message}, {"status", static_cast<long long>(status)}}, STDERR_FILENO);
}

}  // namespace

void failWithStatus(const std::string& message, std::int32_t status) {
    sayError(message, status);
    std::exit(1);
}

void failWithStatusAtOnce(const std::string& message, std::int32_t status) {
    sayError(message, status);
    _exit(1);
}

}  // namespace report
