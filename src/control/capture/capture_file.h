#pragma once
// Writing "capture.bmp" through the platform's file API.
#include <cstddef>
#include <cstdint>

namespace pitchlog {

// Pixel rows as they lie in memory: `count` rows of `stride` bytes from
// `first`. The file takes them in memory order, or the last row first when
// `reversed` (rows held top-down, stored bottom-up without being moved).
struct capture_rows {
  const uint8_t* first = nullptr;
  size_t stride = 0;
  size_t count = 0;
  bool reversed = false;
};

// Writes `header` then the rows as the whole of "capture.bmp" in the working
// folder, which then ends exactly at header_size + stride * count bytes.
// False when the file cannot be created (nothing is written then) or cannot
// be written whole (the file is removed then).
bool write_capture_file(const uint8_t* header, size_t header_size, const capture_rows& rows);

// Removes "capture.bmp" if it exists, so that no stale picture is analysed.
void remove_capture_file();

}  // namespace pitchlog
