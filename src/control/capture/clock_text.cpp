#include "control/capture/clock_text.h"

#include <cstdio>
#include <ctime>

namespace pitchlog {

std::string wall_clock_text(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms < 0 ? ms + 1000 : ms));
  return text;
}

std::string video_time_text(int64_t milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  char text[40];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d.%03d",
                static_cast<long long>(milliseconds / 3600000),
                static_cast<int>(milliseconds / 60000 % 60),
                static_cast<int>(milliseconds / 1000 % 60), static_cast<int>(milliseconds % 1000));
  return text;
}

}  // namespace pitchlog
