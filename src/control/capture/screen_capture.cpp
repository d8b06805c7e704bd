#include "control/capture/screen_capture.h"

#include <limits>
#include <ostream>

#include "control/capture/capture_file.h"

namespace pitchlog {

namespace {

void put_u16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put_u32(uint8_t* at, uint32_t value) {
  put_u16(at, value & 0xFFFFu);
  put_u16(at + 2, value >> 16);
}

// Stride times height in 64 bits, or -1 when the picture cannot be a BMP of
// this kind: no pixels, or an image size past the header's 32-bit fields.
int64_t checked_image_size(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return -1;
  const int64_t size = int64_t{bmp_stride(width)} * height;
  if (size + 54 > std::numeric_limits<uint32_t>::max()) return -1;
  return size;
}

// Header and rows of a grab, the rows in memory order or reversed.
bool write_rows(int32_t width, int32_t height, const uint8_t* pixels, bool reversed) {
  if (checked_image_size(width, height) < 0 || pixels == nullptr) return false;
  const std::array<uint8_t, 54> header = bmp_header(width, height);
  const capture_rows rows{pixels, static_cast<size_t>(bmp_stride(width)),
                          static_cast<size_t>(height), reversed};
  return write_capture_file(header.data(), header.size(), rows);
}

}  // namespace

int32_t bmp_stride(int32_t width) {
  // Same value as ((3 * width + 3) / 4) * 4 in 32-bit arithmetic wherever
  // that does not overflow; the wider type only keeps huge widths defined.
  return static_cast<int32_t>(((int64_t{3} * width + 3) / 4) * 4);
}

std::array<uint8_t, 54> bmp_header(int32_t width, int32_t height) {
  const uint32_t image_size =
      static_cast<uint32_t>(bmp_stride(width)) * static_cast<uint32_t>(height);
  std::array<uint8_t, 54> h{};  // reserved fields, compression, resolutions, colours: 0
  h[0] = 'B';
  h[1] = 'M';
  put_u32(&h[2], 54 + image_size);  // file size
  put_u32(&h[10], 54);              // offset of the pixel data
  put_u32(&h[14], 40);              // info header size
  put_u32(&h[18], static_cast<uint32_t>(width));
  put_u32(&h[22], static_cast<uint32_t>(height));  // positive: bottom row first
  put_u16(&h[26], 1);                              // planes
  put_u16(&h[28], 24);                             // bits per pixel
  put_u32(&h[34], image_size);
  return h;
}

bool write_capture_bmp(int32_t width, int32_t height, const uint8_t* pixels) {
  return write_rows(width, height, pixels, false);
}

bool write_capture_bmp_top_down(int32_t width, int32_t height, const uint8_t* pixels) {
  return write_rows(width, height, pixels, true);
}

capture_status capture_screen(const platform& p) {
  screen_grab grab;
  // A grab of no pixels is no grab: nothing that writing again could mend.
  const bool grabbed =
      p.source.grab(grab) && grab.width > 0 && grab.height > 0 && grab.pixels != nullptr;
  const bool written =
      grabbed && (grab.top_down ? write_capture_bmp_top_down(grab.width, grab.height, grab.pixels)
                                : write_capture_bmp(grab.width, grab.height, grab.pixels));
  // Without a fresh picture no old one may stand in for the screen.
  if (!written) remove_capture_file();
  p.source.pause(capture_pause_ms);
  if (written) return capture_status::written;
  return grabbed ? capture_status::file_failed : capture_status::no_grab;
}

bool capture_until_written(const platform& p) {
  for (int unwritten = 0;;) {
    const capture_status status = capture_screen(p);
    if (status == capture_status::written) return true;
    if (status == capture_status::no_grab || !p.source.retries_unwritten_capture) return false;
    if (++unwritten == unwritten_captures_said) {
      *p.error << "pitchlog: cannot write " << capture_file_name
               << " in the working folder; each capture is taken again until it can be"
               << std::endl;
    }
  }
}

}  // namespace pitchlog
