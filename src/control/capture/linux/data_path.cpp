#include "control/capture/data_path.h"

#include <filesystem>
#include <fstream>
#include <iterator>
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

bool read_whole_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace pitchlog
