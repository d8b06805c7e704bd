#pragma once
// Text between pitchlog's own encodings (UTF-8 inside, code page 932 on the
// console and in text.txt) and the UTF-16 of Windows' wide API, which names
// files and writes to a console whatever the system code page is.
#include <iosfwd>
#include <string>
#include <string_view>

namespace pitchlog {

// UTF-8 as UTF-16; an invalid sequence becomes U+FFFD.
std::wstring utf16_from_utf8(std::string_view utf8);

// When standard output is a console and `console` is std::cout, its bytes
// (code page 932, as console_text makes them) go to the console through
// WriteConsoleW from now on, so the console shows them in any code page.
// Redirected output keeps the bytes as they are.
void write_console_wide(std::ostream& console);

}  // namespace pitchlog
