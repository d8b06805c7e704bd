#include "control/capture/x11_window.h"

#include <X11/Xlib.h>

namespace x11_window {

struct window {
  Display* display = nullptr;
  Window id = 0;
  unsigned width = 0, height = 0;
};

void window_deleter::operator()(window* w) const {
  if (w->display != nullptr) XCloseDisplay(w->display);
  delete w;
}

void fill(window& w, uint32_t rgb) {
  GC gc = XCreateGC(w.display, w.id, 0, nullptr);
  XSetForeground(w.display, gc, rgb);
  XFillRectangle(w.display, w.id, gc, 0, 0, w.width, w.height);
  XFreeGC(w.display, gc);
  XSync(w.display, False);
}

window_ptr show(const std::string& display, int x, int y, int width, int height, uint32_t rgb) {
  window_ptr w(new window);
  w->display = XOpenDisplay(display.c_str());
  if (w->display == nullptr) return nullptr;
  w->width = static_cast<unsigned>(width);
  w->height = static_cast<unsigned>(height);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = rgb;
  w->id = XCreateWindow(w->display, DefaultRootWindow(w->display), x, y, w->width, w->height, 0,
                        CopyFromParent, InputOutput, CopyFromParent,
                        CWOverrideRedirect | CWBackPixel, &attributes);
  XMapWindow(w->display, w->id);
  fill(*w, rgb);
  return w;
}

}  // namespace x11_window
