#include "control/capture/data_path.h"

#include <filesystem>
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

}  // namespace pitchlog
