// The Windows console shows code page 932, so pitchlog's text is converted to it.
#include "control/capture/console_text.h"

#include "control/capture/shift_jis.h"

namespace pitchlog {

std::string console_text(std::string_view utf8) {
  return to_shift_jis(utf8);
}

}  // namespace pitchlog
