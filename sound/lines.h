// Line reading from standard input and the white-space trimming of the host's lines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sound {

struct Line {
    std::string text;      // without its "\n" or "\r\n"; cut at the limit when too long
    bool tooLong = false;  // the line had more bytes than the limit; the rest was read and dropped
};

// The next line of `fd`, read one byte at a time so nothing past it is consumed; a last line
// without a line feed counts. Nothing at end of input before any byte, or on a read error.
std::optional<Line> readLine(int fd, std::size_t limit);

// The text without spaces, tabs and the other Unicode space separators at either end.
std::string_view trimSpaces(std::string_view text);

}  // namespace sound
