#include "control/capture/data_path.h"

namespace pitchlog {

std::string data_path(std::string_view file_name) {
  std::string path("data/");
  path += file_name;
  return path;
}

}  // namespace pitchlog
