#include "control/capture/x11_paint.h"

#include <X11/Xlib.h>

namespace x11_paint {

bool paint_root(const std::string& display_name, const std::vector<filled_rect>& rects) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  const Window root = DefaultRootWindow(display);
  GC gc = XCreateGC(display, root, 0, nullptr);
  // Draw over any windows as well, so the pattern is what the screen shows.
  XSetSubwindowMode(display, gc, IncludeInferiors);
  for (const filled_rect& r : rects) {
    XSetForeground(display, gc, r.rgb);  // a 24-bit true-colour visual takes 0xRRGGBB as is
    XFillRectangle(display, root, gc, r.x, r.y, static_cast<unsigned>(r.width),
                   static_cast<unsigned>(r.height));
  }
  XFreeGC(display, gc);
  XSync(display, False);
  XCloseDisplay(display);
  return true;
}

}  // namespace x11_paint
