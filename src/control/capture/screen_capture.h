#pragma once
// Grabbing the desktop into "capture.bmp", the one hand-over between the grab
// and the rest of pitchlog.
#include <array>
#include <cstdint>

#include "control/capture/platform.h"

namespace pitchlog {

inline constexpr int capture_pause_ms = 60;
inline constexpr const char* capture_file_name = "capture.bmp";

// Bytes per stored row of a 24-bit bitmap: ((3 * width + 3) / 4) * 4, in 32-bit signed arithmetic.
int32_t bmp_stride(int32_t width);

// The 54-byte file and info header of a 24-bit bottom-up BMP of this size.
std::array<uint8_t, 54> bmp_header(int32_t width, int32_t height);

// Writes "capture.bmp" in the working folder: header, then stride * height
// pixel bytes copied unchanged. The file ends exactly at 54 + image size.
// False when the file cannot be created; nothing is written then.
bool write_capture_bmp(int32_t width, int32_t height, const uint8_t* pixels);

// The same file from rows held top row first (stride * height bytes): the
// rows are written last first, so the file is byte for byte what
// write_capture_bmp gives for the same rows stored bottom row first.
bool write_capture_bmp_top_down(int32_t width, int32_t height, const uint8_t* pixels);

enum class capture_status {
  written,      // "capture.bmp" holds the grab
  no_grab,      // the screen cannot be grabbed
  file_failed,  // grabbed, but "capture.bmp" cannot be written
};

// Grabs the screen through the platform, writes "capture.bmp" and pauses
// 60 ms. Unless the file now holds the grab, any old "capture.bmp" is removed
// so that no stale picture is analysed.
capture_status capture_screen(const platform& p);

// After this many captures in a row whose file could not be written,
// capture_until_written says so.
inline constexpr int unwritten_captures_said = 16;

// capture_screen until "capture.bmp" holds a grab: a grab whose file cannot
// be written (another program holding it open) is taken again after its
// pause, where the platform retries, with one line on the error stream once
// that has lasted unwritten_captures_said captures. False when no grab is
// possible, or the file cannot be written and the platform does not retry.
bool capture_until_written(const platform& p);

}  // namespace pitchlog
