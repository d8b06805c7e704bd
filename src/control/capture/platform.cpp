#include "control/capture/platform.h"

#include <chrono>
#include <iostream>
#include <ostream>
#include <thread>

#include "control/capture/clock_text.h"

namespace pitchlog {
namespace {

int64_t steady_now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::ostream& discard_stream() {
  // A stream without a buffer sets its bad bit and drops what it is given.
  static std::ostream discard(nullptr);
  return discard;
}

void sleep_pause(int milliseconds) {
  if (milliseconds <= 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

platform console_platform(std::ostream& console, std::ostream& error) {
  platform p;
  p.console = &console;
  p.error = &error;
  p.read_char = [] { std::cin.get(); };
  p.now_us = steady_now_us;
  // The wall clock of a steady reading: now, less the time since the reading.
  p.time_text = [](int64_t us) {
    return wall_clock_text(std::chrono::system_clock::now() -
                           std::chrono::microseconds(steady_now_us() - us));
  };
  p.wall_clock = [] { return wall_clock_text(std::chrono::system_clock::now()); };
  return p;
}

}  // namespace pitchlog
