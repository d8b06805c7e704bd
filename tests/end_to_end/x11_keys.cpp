#include "end_to_end/x11_keys.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <functional>

namespace x11_keys {
namespace {

// Calls `visit` with every window under `root` and its name (empty if none).
void walk(Display* d, Window root, const std::function<void(Window, const std::string&)>& visit) {
  Window parent_return = 0, root_return = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, root, &root_return, &parent_return, &children, &count)) return;
  for (unsigned int i = 0; i < count; ++i) {
    char* name = nullptr;
    std::string text;
    if (XFetchName(d, children[i], &name) && name) {
      text = name;
      XFree(name);
    }
    visit(children[i], text);
    walk(d, children[i], visit);
  }
  if (children) XFree(children);
}

}  // namespace

std::vector<std::string> window_names(const std::string& display) {
  std::vector<std::string> names;
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return names;
  walk(d, DefaultRootWindow(d), [&](Window, const std::string& name) {
    if (!name.empty()) names.push_back(name);
  });
  XCloseDisplay(d);
  return names;
}

bool press_return(const std::string& display, const std::string& name) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  Window target = 0;
  walk(d, DefaultRootWindow(d), [&](Window w, const std::string& n) {
    if (!target && n == name) target = w;
  });
  if (target) {
    XSetInputFocus(d, target, RevertToParent, CurrentTime);
    for (int type : {KeyPress, KeyRelease}) {
      XKeyEvent key{};
      key.type = type;
      key.display = d;
      key.window = target;
      key.root = DefaultRootWindow(d);
      key.same_screen = True;
      key.time = CurrentTime;
      key.keycode = XKeysymToKeycode(d, XK_Return);
      XEvent event{};
      event.xkey = key;
      XSendEvent(d, target, True, KeyPressMask | KeyReleaseMask, &event);
    }
    XSync(d, False);
  }
  XCloseDisplay(d);
  return target != 0;
}

}  // namespace x11_keys
