#pragma once
// The plain writer the capture path is measured against: truncate the file,
// then write the header and the rows as they lie (upside down for a top-down
// grab, which costs the same).
#include <array>
#include <cstddef>
#include <cstdint>

#include <fcntl.h>
#include <unistd.h>

#include "control/capture/platform.h"
#include "control/capture/screen_capture.h"

namespace bench {

inline bool write_truncating(const pitchlog::screen_grab& grab, const char* file_name) {
  const std::array<uint8_t, 54> header = pitchlog::bmp_header(grab.width, grab.height);
  const size_t size = static_cast<size_t>(pitchlog::bmp_stride(grab.width)) * grab.height;
  const int fd = open(file_name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = write(fd, header.data(), header.size()) == 54 &&
                  write(fd, grab.pixels, size) == static_cast<ssize_t>(size);
  close(fd);
  return ok;
}

}  // namespace bench
