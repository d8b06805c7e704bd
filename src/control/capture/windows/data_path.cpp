// Reference picture paths on Windows: the folder and a backslash, then the
// file name in UTF-8, opened through the wide (UTF-16) file API, so that the
// Japanese names are found whatever the system code page is.
#include "control/capture/data_path.h"

#include "control/capture/windows/wide_text.h"
#include "control/capture/windows/windows_api.h"

namespace pitchlog {

std::string data_path(std::string_view file_name) {
  return "data\\" + std::string(file_name);
}

bool regular_file_exists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(utf16_from_utf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool image_loader_opens(const std::string& path) {
  for (const char c : path)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool read_whole_file(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileW(utf16_from_utf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool read = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart < (1LL << 31);
  if (read) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    read = bytes.empty() ||
           (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, NULL) &&
            got == bytes.size());
  }
  CloseHandle(file);
  return read;
}

}  // namespace pitchlog
