#include "control/capture/data_path.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace pitchlog {

std::string data_path(std::string_view file_name) {
  std::string path("data/");
  path += file_name;
  return path;
}

bool regular_file_exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

bool image_loader_opens(const std::string&) {
  return true;
}

bool read_whole_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0) return false;
  bytes.resize(static_cast<size_t>(size));
  in.seekg(0);
  return static_cast<bool>(in.read(bytes.data(), size));
}

}  // namespace pitchlog
