#pragma once
// Where the reference pictures live, and the file calls that open them by a
// UTF-8 name whatever the platform's code page is.
#include <string>
#include <string_view>

namespace pitchlog {

// "data/<name>" on Linux, "data\<name>" on Windows, in UTF-8.
std::string data_path(std::string_view file_name);

// Whether the UTF-8 `path` names a regular file (through the wide file API on
// Windows, so a Japanese name is found in any system code page).
bool regular_file_exists(const std::string& path);

// Whether the image loader's own narrow file calls open the UTF-8 `path`:
// always on Linux; on Windows only for a name in ASCII, since they read it in
// the system code page.
bool image_loader_opens(const std::string& path);

// The whole of the file at the UTF-8 `path` into `bytes`, for a name the
// image loader cannot open; false when it cannot be opened or read whole.
bool read_whole_file(const std::string& path, std::string& bytes);

}  // namespace pitchlog
