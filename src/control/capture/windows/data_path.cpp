// Reference picture paths on Windows: the folder and a backslash, then the
// file name in code page 932, the bytes the image loader's narrow file API takes.
#include "control/capture/data_path.h"

#include "control/capture/shift_jis.h"

namespace pitchlog {

std::string data_path(std::string_view file_name) {
  return "data\\" + to_shift_jis(file_name);
}

}  // namespace pitchlog
