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

// Grabs the screen through the platform, writes "capture.bmp" and pauses
// 60 ms; true when the file now holds the grab. When no grab is possible, any
// old "capture.bmp" is removed so that no stale picture is analysed.
bool capture_screen(const platform& p);

}  // namespace pitchlog
