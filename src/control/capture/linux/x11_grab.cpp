#include "control/capture/linux/x11_grab.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>

#include "control/capture/row_pack.h"
#include "control/capture/screen_capture.h"

namespace pitchlog {

struct x11_grabber {
  Display* display = nullptr;
  std::string display_name;  // as the user knows it, for messages
  x11_fetch fetch = x11_fetch::shared_memory;
  bool connection_lost = false;  // set by Xlib's I/O error exit handler

  // The server image: the attached segment's image (shared_memory), or the
  // last image XGetImage returned (get_image).
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
  bool segment_attached = false;

  int root_width = 0;  // the screen size as last known; 0 until asked
  int root_height = 0;

  // True once the fetched image has been turned into BGR rows in place; the
  // next fetch refills it.
  bool converted = false;

  // Only for servers without the common 32-bit format: top-down padded rows,
  // reused from grab to grab.
  std::vector<uint8_t> bgr;
  int32_t bgr_width = 0;
  int32_t bgr_height = 0;

  // The server's change reports for the root window (DAMAGE extension), when
  // it has them. The reported area is emptied just before every fetch, so a
  // report with a later request number means the screen may differ from the
  // fetched image, and one with an earlier (or the same) number, one that
  // came after the emptying before the last fetch, a change that the fetched
  // image may show.
  Damage damage = 0;
  int damage_event_base = 0;
  unsigned long emptied_at = 0;  // request number of the last emptying
  bool fetched = false;          // the fetch after that emptying succeeded
  bool changed = true;           // a change was reported since that emptying
  bool changed_before = true;    // one was reported between the emptying before and that one
};

namespace {

// Xlib reports protocol errors through one process-wide callback without a
// user pointer; a trap installs it only around this file's own requests and
// puts the previous handlers back afterwards.
int trapped_error_code = 0;

int on_x_error(Display*, XErrorEvent* event) {
  trapped_error_code = event->error_code;
  return 0;
}

// Returning (instead of Xlib's default of exiting the process) lets the exit
// handler below mark the connection lost; the grab then fails normally.
int on_x_io_error(Display*) {
  return 0;
}

void on_x_io_error_exit(Display*, void* grabber) {
  static_cast<x11_grabber*>(grabber)->connection_lost = true;
}

class x_error_trap {
 public:
  x_error_trap()
      : previous_(XSetErrorHandler(on_x_error)), previous_io_(XSetIOErrorHandler(on_x_io_error)) {
    trapped_error_code = 0;
  }
  ~x_error_trap() {
    XSetErrorHandler(previous_);
    XSetIOErrorHandler(previous_io_);
  }
  x_error_trap(const x_error_trap&) = delete;
  x_error_trap& operator=(const x_error_trap&) = delete;
  bool failed() const { return trapped_error_code != 0; }

 private:
  XErrorHandler previous_;
  XIOErrorHandler previous_io_;
};

std::string quoted_display_name(const char* name) {
  return std::string("\"") + name + "\"";
}

void release_server_image(x11_grabber& g) {
  if (g.segment_attached) {
    if (!g.connection_lost) {
      x_error_trap trap;
      XShmDetach(g.display, &g.segment);
      XSync(g.display, False);
    }
    g.segment_attached = false;
  }
  if (g.image != nullptr) {
    if (g.segment.shmaddr != nullptr) g.image->data = nullptr;  // the segment is not Xlib's to free
    XDestroyImage(g.image);
    g.image = nullptr;
  }
  if (g.segment.shmaddr != nullptr) {
    shmdt(g.segment.shmaddr);
    g.segment.shmaddr = nullptr;
  }
  g.segment.shmid = -1;
}

// Makes a shared image of the root's size and attaches its segment to the
// server. The segment is marked for removal at once, so it disappears with
// the last detach even if the process dies.
bool make_shared_image(x11_grabber& g, int width, int height) {
  const int screen = DefaultScreen(g.display);
  g.image =
      XShmCreateImage(g.display, DefaultVisual(g.display, screen), DefaultDepth(g.display, screen),
                      ZPixmap, nullptr, &g.segment, width, height);
  if (g.image == nullptr) return false;
  g.segment.shmid =
      shmget(IPC_PRIVATE, static_cast<size_t>(g.image->bytes_per_line) * height, IPC_CREAT | 0600);
  if (g.segment.shmid < 0) return false;
  void* address = shmat(g.segment.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(g.segment.shmid, IPC_RMID, nullptr);
    return false;
  }
  g.segment.shmaddr = g.image->data = static_cast<char*>(address);
  g.segment.readOnly = False;
  bool attached = false;
  {
    x_error_trap trap;
    attached = XShmAttach(g.display, &g.segment) != 0;
    XSync(g.display, False);
    attached = attached && !trap.failed() && !g.connection_lost;
  }
  shmctl(g.segment.shmid, IPC_RMID, nullptr);
  g.segment_attached = attached;
  return attached;
}

// The root window's size, asked of the server.
bool root_size(x11_grabber& g, int& width, int& height) {
  Window root_return = 0;
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  x_error_trap trap;
  const Status ok = XGetGeometry(g.display, DefaultRootWindow(g.display), &root_return, &x, &y, &w,
                                 &h, &border, &depth);
  if (ok == 0 || trap.failed() || g.connection_lost || w == 0 || h == 0) return false;
  width = g.root_width = static_cast<int>(w);
  height = g.root_height = static_cast<int>(h);
  return true;
}

// The root window's size without a round trip: the server announces every
// resize of the root with a ConfigureNotify, which is already queued or
// waiting on the socket by the time the next grab starts.
bool known_root_size(x11_grabber& g, int& width, int& height) {
  XEvent event;
  x_error_trap trap;  // reading the socket is where a vanished server shows
  while (!g.connection_lost &&
         XCheckWindowEvent(g.display, DefaultRootWindow(g.display), StructureNotifyMask, &event)) {
    if (event.type == ConfigureNotify) {
      g.root_width = event.xconfigure.width;
      g.root_height = event.xconfigure.height;
      g.changed = true;
    }
  }
  if (g.connection_lost) return false;
  if (g.root_width <= 0 || g.root_height <= 0) return root_size(g, width, height);
  width = g.root_width;
  height = g.root_height;
  return true;
}

Bool is_damage_report(Display*, XEvent* event, XPointer grabber) {
  const auto& g = *reinterpret_cast<const x11_grabber*>(grabber);
  return event->type == g.damage_event_base + XDamageNotify ? True : False;
}

Bool is_change_report(Display* display, XEvent* event, XPointer grabber) {
  return is_damage_report(display, event, grabber) ||
                 (event->type == ConfigureNotify &&
                  event->xconfigure.window == DefaultRootWindow(display))
             ? True
             : False;
}

// Takes every change report the client has received and notes whether any
// came after the last emptying, or before it (after the one before); with
// `sizes`, the root window's new sizes as well (as known_root_size takes
// them), each a change.
void take_change_reports(x11_grabber& g, bool sizes) {
  XEvent event;
  while (!g.connection_lost &&
         XCheckIfEvent(g.display, &event, sizes ? is_change_report : is_damage_report,
                       reinterpret_cast<XPointer>(&g))) {
    if (event.type == ConfigureNotify) {
      g.root_width = event.xconfigure.width;
      g.root_height = event.xconfigure.height;
      g.changed = true;
      continue;
    }
    // A report made between the emptying and the fetch (the request number
    // of the emptying itself) belongs to both.
    const long after_emptying = static_cast<long>(event.xany.serial - g.emptied_at);
    if (after_emptying >= 0) g.changed = true;
    if (after_emptying <= 0) g.changed_before = true;
  }
}

// Empties the reported area just before a fetch: what changes after this
// request is reported anew. Reports queued so far are dropped, so that they
// never pile up however long the screen keeps changing.
void empty_change_reports(x11_grabber& g) {
  g.fetched = false;
  if (g.damage == 0) return;
  take_change_reports(g, false);
  g.changed_before = g.changed;
  g.emptied_at = NextRequest(g.display);
  XDamageSubtract(g.display, g.damage, None, None);
  g.changed = false;
}

// After a fetch: every report the server made before answering it has come
// in with the answer; those made before the emptying are changes the fetched
// image may show.
void take_reports_of_fetch(x11_grabber& g) {
  if (g.damage != 0) take_change_reports(g, false);
}

bool fetch_shared(x11_grabber& g, int width, int height) {
  if (g.image == nullptr || g.image->width != width || g.image->height != height) {
    release_server_image(g);
    if (!make_shared_image(g, width, height)) {
      release_server_image(g);
      return false;
    }
  }
  g.converted = false;
  x_error_trap trap;
  empty_change_reports(g);
  const Status ok = XShmGetImage(g.display, DefaultRootWindow(g.display), g.image, 0, 0, AllPlanes);
  g.fetched = ok != 0 && !trap.failed() && !g.connection_lost;
  take_reports_of_fetch(g);
  return g.fetched;
}

bool fetch_plain(x11_grabber& g, int width, int height) {
  release_server_image(g);
  g.converted = false;
  x_error_trap trap;
  empty_change_reports(g);
  g.image = XGetImage(g.display, DefaultRootWindow(g.display), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), AllPlanes, ZPixmap);
  g.fetched = g.image != nullptr && !trap.failed() && !g.connection_lost;
  take_reports_of_fetch(g);
  return g.fetched;
}

bool is_bgrx(const XImage& image) {
  return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && image.red_mask == 0xFF0000 &&
         image.green_mask == 0xFF00 && image.blue_mask == 0xFF;
}

// Scales the channel under `mask` of a pixel value to 8 bits.
uint8_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
}

// Any other true-colour layout, pixel by pixel: slow, but only for servers
// that do not use the common 32-bit format.
void convert_any_row(XImage& image, int y, uint8_t* target) {
  for (int x = 0; x < image.width; ++x, target += 3) {
    const unsigned long pixel = XGetPixel(&image, x, y);
    target[0] = channel(pixel, image.blue_mask);
    target[1] = channel(pixel, image.green_mask);
    target[2] = channel(pixel, image.red_mask);
  }
}

x11_grabber* open_grabber(x11_fetch preferred, std::string& why) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    why = "pitchlog: cannot open the X display (DISPLAY is not set)";
    return nullptr;
  }
  Display* display = XOpenDisplay(name);
  if (display == nullptr) {
    why = "pitchlog: cannot open the X display " + quoted_display_name(name);
    return nullptr;
  }
  auto* g = new x11_grabber;
  g->display = display;
  g->display_name = quoted_display_name(name);
  g->segment.shmid = -1;
  XSetIOErrorExitHandler(display, on_x_io_error_exit, g);
  XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask);
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
    why = "pitchlog: the X display " + g->display_name + " does not use true colour";
    x11_grabber_deleter{}(g);
    return nullptr;
  }
  bool shared = false;
  if (preferred == x11_fetch::shared_memory) {
    x_error_trap trap;
    shared = XShmQueryExtension(display) && !trap.failed() && !g->connection_lost;
  }
  g->fetch = shared ? x11_fetch::shared_memory : x11_fetch::get_image;
  // Change reports of the whole screen: the root window with every window on it.
  {
    x_error_trap trap;
    int error_base = 0, major = 1, minor = 1;
    if (XDamageQueryExtension(display, &g->damage_event_base, &error_base) &&
        XDamageQueryVersion(display, &major, &minor)) {
      g->damage = XDamageCreate(display, DefaultRootWindow(display), XDamageReportNonEmpty);
      XSync(display, False);
      if (trap.failed() || g->connection_lost) g->damage = 0;
    }
  }
  return g;
}

bool grab_into(x11_grabber& g, screen_grab& grab, std::string& why) {
  if (!x11_fetch_screen(g)) {
    why = g.connection_lost ? "pitchlog: lost the connection to the X display " + g.display_name
                            : "pitchlog: cannot grab the screen of the X display " + g.display_name;
    return false;
  }
  x11_convert(g, grab);
  return true;
}

}  // namespace

void x11_grabber_deleter::operator()(x11_grabber* g) const {
  if (g == nullptr) return;
  release_server_image(*g);
  if (g->display != nullptr) {
    x_error_trap trap;  // a server gone since the last grab must not end the process here
    XCloseDisplay(g->display);
  }
  delete g;
}

x11_grabber_ptr open_x11_grabber(std::ostream& error, x11_fetch preferred) {
  std::string why;
  x11_grabber_ptr g(open_grabber(preferred, why));
  if (!g) error << why << std::endl;
  return g;
}

x11_fetch x11_grabber_fetch(const x11_grabber& g) {
  return g.fetch;
}

bool x11_fetch_screen(x11_grabber& g) {
  if (g.connection_lost) return false;
  int width = 0, height = 0;
  if (g.fetch == x11_fetch::shared_memory) {
    if (!known_root_size(g, width, height)) return false;
    if (fetch_shared(g, width, height)) return true;
    // Perhaps the screen shrank and the news has not arrived: ask, and try once more.
    if (g.connection_lost || !root_size(g, width, height)) return false;
    if (fetch_shared(g, width, height)) return true;
    if (g.connection_lost) return false;
    // The extension is there but does not work for us (for example a server
    // that cannot see our segment): use plain requests from now on.
    release_server_image(g);
    g.fetch = x11_fetch::get_image;
  }
  return root_size(g, width, height) && fetch_plain(g, width, height);
}

bool x11_screen_unchanged(x11_grabber& g) {
  if (g.damage == 0 || !g.fetched || g.changed || g.connection_lost) return false;
  x_error_trap trap;
  // A round trip: every report the server made before answering it is then
  // in the client's queue.
  XSync(g.display, False);
  take_change_reports(g, true);
  return !g.changed && !trap.failed() && !g.connection_lost;
}

bool x11_screen_unchanged(x11_grab& state) {
  return state.grabber && x11_screen_unchanged(*state.grabber);
}

bool x11_change_reported_before_fetch(const x11_grabber& g) {
  return g.damage != 0 && g.fetched && g.changed_before;
}

bool x11_change_reported_before_grab(const x11_grab& state) {
  return state.grabber && x11_change_reported_before_fetch(*state.grabber);
}

void x11_convert(x11_grabber& g, screen_grab& grab) {
  if (g.image == nullptr) {  // nothing fetched yet
    grab = {};
    return;
  }
  XImage& image = *g.image;
  if (is_bgrx(image)) {
    // Turned into rows inside the server image, so that no second
    // screen-sized buffer is kept; the next fetch refills it.
    if (!g.converted) {
      pack_bgrx_rows_in_place(reinterpret_cast<uint8_t*>(image.data), image.width, image.height,
                              image.bytes_per_line);
    }
    g.converted = true;
    grab = {image.width, image.height, reinterpret_cast<const uint8_t*>(image.data), true};
    return;
  }
  const int32_t stride = bmp_stride(image.width);
  if (image.width != g.bgr_width || image.height != g.bgr_height) {
    // Zero padding bytes, never written again, so every file is the same for the same screen.
    g.bgr.assign(static_cast<size_t>(stride) * image.height, 0);
    g.bgr_width = image.width;
    g.bgr_height = image.height;
  }
  for (int y = 0; y < image.height; ++y) {
    convert_any_row(image, y, g.bgr.data() + static_cast<size_t>(y) * stride);
  }
  grab = {image.width, image.height, g.bgr.data(), true};
}

bool grab_x11_screen(x11_grab& state, screen_grab& grab) {
  std::string why;
  if (!state.grabber) state.grabber.reset(open_grabber(state.preferred, why));
  if (state.grabber && grab_into(*state.grabber, grab, why)) {
    state.outage_reported = false;
    return true;
  }
  // A lost connection is not reused: the next grab connects afresh.
  if (state.grabber && state.grabber->connection_lost) state.grabber.reset();
  if (!state.outage_reported) *state.error << why << std::endl;
  state.outage_reported = true;
  return false;
}

}  // namespace pitchlog
