#pragma once
// The times pitchlog writes into its pitch log, as text.
#include <chrono>
#include <cstdint>
#include <string>

namespace pitchlog {

// "2026-12-08 14:03:12.345": local wall-clock time with milliseconds.
std::string wall_clock_text(std::chrono::system_clock::time_point when);

// "0:12:34.567": a time within a recording.
std::string video_time_text(int64_t milliseconds);

}  // namespace pitchlog
