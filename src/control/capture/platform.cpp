#include "control/capture/platform.h"

#include <ostream>

namespace pitchlog {

std::ostream& discard_stream() {
  // A stream without a buffer sets its bad bit and drops what it is given.
  static std::ostream discard(nullptr);
  return discard;
}

}  // namespace pitchlog
