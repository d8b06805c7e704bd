#include "control/capture/platform.h"

#include <chrono>
#include <iostream>
#include <ostream>

#include "control/capture/clock_text.h"

namespace pitchlog {

std::ostream& discard_stream() {
  // A stream without a buffer sets its bad bit and drops what it is given.
  static std::ostream discard(nullptr);
  return discard;
}

platform console_platform(std::ostream& console, std::ostream& error) {
  platform p;
  p.console = &console;
  p.error = &error;
  p.read_char = [] { std::cin.get(); };
  p.clock = [] { return wall_clock_text(std::chrono::system_clock::now()); };
  return p;
}

}  // namespace pitchlog
