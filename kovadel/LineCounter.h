// Counting the lines of a text file the way the program's readers split them.
#pragma once

#include <cstdint>
#include <string>

namespace kovadel {

// A line ends at CR, at CR LF or at LF; a last line without a terminator
// counts; an empty file has 0 lines. Returns -1 (with `reason`) when the file
// cannot be read or is not a regular file (a folder, a device, a pipe), without
// waiting for a pipe's writer.
int32_t countLines(const std::string& utf8Path, std::string& reason);

} // namespace kovadel
