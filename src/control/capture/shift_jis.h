#pragma once
// UTF-8 to Shift_JIS (code page 932) for pitchlog's own texts, without a
// system converter, so that it works the same on every platform.
#include <string>
#include <string_view>

namespace pitchlog {

// Converts UTF-8 text to code page 932 bytes. ASCII passes unchanged; the
// Japanese characters of pitchlog's messages, report and file names are
// converted; any other character becomes '?'.
std::string to_shift_jis(std::string_view utf8);

}  // namespace pitchlog
