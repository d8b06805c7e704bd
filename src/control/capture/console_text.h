#pragma once
// The console's encoding: UTF-8 on Linux (so a terminal shows it), code page 932 on Windows.
#include <string>
#include <string_view>

namespace pitchlog {

// Converts pitchlog's UTF-8 text to the bytes the console expects.
std::string console_text(std::string_view utf8);

}  // namespace pitchlog
