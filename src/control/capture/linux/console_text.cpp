#include "control/capture/console_text.h"

namespace pitchlog {

// Linux terminals speak UTF-8: the text goes out as it is.
std::string console_text(std::string_view utf8) {
  return std::string(utf8);
}

}  // namespace pitchlog
