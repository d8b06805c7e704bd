// Reference picture paths on Windows: the folder and a backslash, then the
// file name in code page 932, the bytes the image loader's narrow file API takes.
#include "control/capture/data_path.h"

#include "control/capture/shift_jis.h"
#include "control/capture/windows/windows_api.h"

namespace pitchlog {

std::string data_path(std::string_view file_name) {
  return "data\\" + to_shift_jis(file_name);
}

// The ANSI file API reads the bytes in the system code page, as the image
// loader's fopen does. (std::filesystem would widen them one byte to one
// character, and so never find a Japanese name.)
bool regular_file_exists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace pitchlog
