#pragma once
// Where the reference pictures live, in the bytes the platform's file API expects.
#include <string>
#include <string_view>

namespace pitchlog {

// "data/<name>" in UTF-8 on Linux; code page 932 bytes with a backslash on Windows.
std::string data_path(std::string_view file_name);

// Whether `path`, in the same bytes as data_path gives, names a regular file
// (read as the image loader reads it: in the system code page on Windows).
bool regular_file_exists(const std::string& path);

}  // namespace pitchlog
