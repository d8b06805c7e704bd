#include "control/capture/x11_window.h"

#include <X11/Xlib.h>

namespace x11_window {

struct window {
  Display* display = nullptr;
  Window id = 0;
};

void fill(window& w, uint32_t rgb) {
  XSetWindowBackground(w.display, w.id, rgb);
  XClearWindow(w.display, w.id);
  XSync(w.display, False);
}

std::shared_ptr<window> show(const std::string& display, int x, int y, int width, int height,
                             uint32_t rgb) {
  std::shared_ptr<window> w(new window{XOpenDisplay(display.c_str())}, [](window* w) {
    if (w->display != nullptr) XCloseDisplay(w->display);
    delete w;
  });
  if (w->display == nullptr) return nullptr;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  w->id =
      XCreateWindow(w->display, DefaultRootWindow(w->display), x, y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWOverrideRedirect, &attributes);
  XMapWindow(w->display, w->id);
  fill(*w, rgb);
  return w;
}

}  // namespace x11_window
