#include "sound/lines.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace sound {

std::optional<Line> readLine(int fd, std::size_t limit) {
    Line line;
    bool any = false;
    while (true) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Standard input handed over in non-blocking mode: wait for it rather than end.
            pollfd ready{fd, POLLIN, 0};
            ::poll(&ready, 1, -1);
            continue;
        }
        if (n <= 0) {
            break;  // end of input, or a read error that ends it all the same
        }
        any = true;
        if (c == '\n') {
            break;
        }
        if (line.text.size() < limit) {
            line.text.push_back(c);
        } else {
            line.tooLong = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
    }
    return line;
}

namespace {

// Tab and the UTF-8 forms of the Unicode space separators (general category Zs).
constexpr std::array<std::string_view, 18> spaces = {
    "\t",           " ",            "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
    "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};

std::size_t spaceAtFront(std::string_view text) {
    for (auto space : spaces) {
        if (text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::size_t spaceAtBack(std::string_view text) {
    for (auto space : spaces) {
        if (text.ends_with(space)) {
            return space.size();
        }
    }
    return 0;
}

}  // namespace

std::string_view trimSpaces(std::string_view text) {
    while (std::size_t n = spaceAtFront(text)) {
        text.remove_prefix(n);
    }
    while (std::size_t n = spaceAtBack(text)) {
        text.remove_suffix(n);
    }
    return text;
}

}  // namespace sound
