#pragma once
// Writing "capture.bmp" through the platform's file API.
#include <cstddef>
#include <cstdint>

namespace pitchlog {

// Writes `header` then `pixels` as the whole of "capture.bmp" in the working
// folder, which then ends exactly at header_size + pixel_size bytes. False
// when the file cannot be created (nothing is written then).
bool write_capture_file(const uint8_t* header, size_t header_size, const uint8_t* pixels,
                        size_t pixel_size);

// Removes "capture.bmp" if it exists, so that no stale picture is analysed.
void remove_capture_file();

}  // namespace pitchlog
