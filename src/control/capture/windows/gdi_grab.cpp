// The desktop grab on Windows: the screen is copied with BitBlt into a 24-bit
// bottom-up DIB section, whose rows have exactly the layout "capture.bmp" stores.
#include "control/capture/windows/gdi_grab.h"

#include <cstring>
#include <memory>
#include <ostream>

#include "control/capture/screen_capture.h"
#include "control/capture/windows/windows_api.h"

namespace pitchlog {

namespace {

// A new 24-bit bottom-up device-independent bitmap of this size, its pixel
// memory owned by the bitmap (no file mapping) and freed with it.
HBITMAP create_capture_bitmap(int32_t width, int32_t height) {
  BITMAPINFO bmi;
  std::memset(&bmi, 0, sizeof bmi);
  bmi.bmiHeader.biSize = 40;
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = height;  // positive: the bottom row comes first
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  return CreateDIBSection(NULL, &bmi, DIB_RGB_COLORS, &bits, NULL, 0);
}

bool report_failure(gdi_grab_buffer& buffer, std::ostream& error, const char* what, LONG width,
                    LONG height) {
  if (!buffer.failure_reported) {
    error << "pitchlog: cannot grab the desktop: " << what << " (" << width << "x" << height
          << ", error " << GetLastError() << ")\n";
    buffer.failure_reported = true;
  }
  return false;
}

}  // namespace

// Every grab runs the whole GDI sequence and frees its bitmap and both device
// contexts before it returns, and the rows are copied into the reused buffer.
// So no GDI object outlives a call (nothing can leak on any exit path, and a
// change of screen size needs no special case), and the rows stay valid until
// the next grab as the platform promises. The price is one memcpy of the rows
// (6.2 MB for 1920 x 1080), small beside the 60 ms pause of every capture.
bool grab_desktop_gdi(gdi_grab_buffer& buffer, std::ostream& error, screen_grab& grab) {
  HWND desktop = GetDesktopWindow();
  RECT rect{};
  GetWindowRect(desktop, &rect);
  // The desktop's rectangle starts at (0, 0): right and bottom are its size.
  if (rect.right <= 0 || rect.bottom <= 0) {
    return report_failure(buffer, error, "empty desktop rectangle", rect.right, rect.bottom);
  }
  HDC memory_dc = CreateCompatibleDC(NULL);
  if (memory_dc == NULL) {
    return report_failure(buffer, error, "no memory device context", rect.right, rect.bottom);
  }
  HBITMAP bitmap = create_capture_bitmap(rect.right, rect.bottom);
  if (bitmap == NULL) {
    DeleteDC(memory_dc);
    return report_failure(buffer, error, "no bitmap of the screen's size", rect.right, rect.bottom);
  }
  HGDIOBJ previous = SelectObject(memory_dc, bitmap);
  HDC window_dc = GetWindowDC(desktop);
  // A failed copy (a locked or secure desktop) leaves the new bitmap black,
  // which the stages simply do not recognise.
  BitBlt(memory_dc, 0, 0, rect.right, rect.bottom, window_dc, 0, 0, SRCCOPY);
  ReleaseDC(desktop, window_dc);

  BITMAP description{};
  GetObjectW(bitmap, sizeof description, &description);
  const int32_t stride = bmp_stride(rect.right);
  const bool laid_out = description.bmBits != nullptr && description.bmWidthBytes == stride &&
                        description.bmHeight == rect.bottom && description.bmBitsPixel == 24;
  if (laid_out) {
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(rect.bottom);
    buffer.pixels.resize(size);
    std::memcpy(buffer.pixels.data(), description.bmBits, size);
  }

  SelectObject(memory_dc, previous);
  DeleteObject(bitmap);
  DeleteDC(memory_dc);
  if (!laid_out) {
    return report_failure(buffer, error, "unexpected bitmap layout", rect.right, rect.bottom);
  }
  buffer.failure_reported = false;
  grab.width = rect.right;
  grab.height = rect.bottom;
  grab.pixels = buffer.pixels.data();
  return true;
}

void pause_win(int milliseconds) {
  Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

void fill_windows_platform(platform& p, std::ostream& error) {
  // Without this, Windows scales the desktop of a program that is not DPI
  // aware: at 125 % the rectangle and the copy would be 80 % of the screen.
  SetProcessDPIAware();
  auto buffer = std::make_shared<gdi_grab_buffer>();
  p.source.grab = [buffer, &error](screen_grab& grab) {
    return grab_desktop_gdi(*buffer, error, grab);
  };
  p.source.pause = pause_win;
}

}  // namespace pitchlog
