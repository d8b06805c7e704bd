// bench_desktop_painter: paints a desktop onto the root window of $DISPLAY for
// bench_figures, and keeps it changing as told on standard input, one command
// a line, each answered with "ok <CLOCK_MONOTONIC ns>" once the server has
// drawn it:
//   still              nothing changes
//   clock              a clock in the bottom-right corner, redrawn every second
//   video X Y          a 480 x 270 video at (X, Y), 25 frames a second
//   game X Y FILE      the picture in FILE ("W H\n", then W * H BGR bytes) at (X, Y)
//   hide               the wallpaper again, without the picture
// It ends at the end of its input. The only benchmark file that includes Xlib.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int video_width = 480, video_height = 270;
constexpr int64_t video_period_ns = 40'000'000;  // 25 frames a second
constexpr int64_t clock_period_ns = 1'000'000'000;

int64_t now_ns() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

struct painter {
  Display* display = nullptr;
  Window root = 0;
  GC gc = nullptr;
  int width = 0, height = 0;
  enum { still, clock, video } mode = still;
  int video_x = 0, video_y = 0;
  int64_t next_frame = 0;
  int frame = 0;
  std::vector<uint32_t> pixels;  // a video frame or the picture shown
  XImage* image = nullptr;

  void fill(int x, int y, int w, int h, uint32_t rgb) {
    XSetForeground(display, gc, rgb);
    XFillRectangle(display, root, gc, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
  }

  // A shaded wallpaper with icons and a window of text lines: every part of
  // the screen has some structure, as on a real desktop.
  void wallpaper() {
    for (int y = 0; y < height; y += 4) {
      const uint32_t shade = static_cast<uint32_t>(110 - y * 50 / height);
      fill(0, y, width, 4,
           (shade << 16) | (70u << 8) | static_cast<uint32_t>(60 + y * 60 / height));
    }
    for (int i = 0; i < 6; ++i) fill(24, 24 + 110 * i, 64, 64, 0xFFC800u - 0x1E0028u * i);
    fill(1100, 120, 640, 420, 0xEBEBEB);
    for (int i = 0; i < 14; ++i) fill(1120, 150 + 26 * i, 120 + (i * 7919) % 480, 12, 0x141414);
  }

  void put(int x, int y, int w, int h) {
    if (image != nullptr) {
      image->data = nullptr;  // the pixels are ours
      XDestroyImage(image);
    }
    image = XCreateImage(display, DefaultVisual(display, DefaultScreen(display)), 24, ZPixmap, 0,
                         reinterpret_cast<char*>(pixels.data()), static_cast<unsigned>(w),
                         static_cast<unsigned>(h), 32, w * 4);
    XPutImage(display, root, gc, image, 0, 0, x, y, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
  }

  // Seven-segment digits of the seconds since start, white on black.
  void draw_clock() {
    static const uint8_t segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int x0 = width - 130, y0 = height - 36;
    fill(x0, y0, 130, 36, 0x1E1E1E);
    int value = frame++;
    for (int d = 0; d < 6; ++d, value /= 10) {
      const int x = x0 + 110 - 20 * d, y = y0 + 4;
      const uint8_t s = segments[value % 10];
      const int bars[7][4] = {{2, 0, 10, 3},  {12, 2, 3, 12}, {12, 15, 3, 12}, {2, 26, 10, 3},
                              {0, 15, 3, 12}, {0, 2, 3, 12},  {2, 13, 10, 3}};
      for (int b = 0; b < 7; ++b)
        if (s & (1 << b)) fill(x + bars[b][0], y + bars[b][1], bars[b][2], bars[b][3], 0xF0F0F0);
    }
  }

  // Bands sliding down under balls sliding right: every pixel changes every frame.
  void draw_video() {
    pixels.resize(static_cast<size_t>(video_width) * video_height);
    for (int y = 0; y < video_height; ++y) {
      for (int x = 0; x < video_width; ++x) {
        const int band = (y + 7 * frame) % 256;
        const int dx = (x + 13 * frame) % 120 - 60, dy = y % 90 - 45;
        const bool ball = dx * dx + dy * dy < 900;
        pixels[static_cast<size_t>(y) * video_width + x] =
            ball ? 0xF0D040u : static_cast<uint32_t>((band << 16) | (80 << 8) | (255 - band));
      }
    }
    ++frame;
    put(video_x, video_y, video_width, video_height);
  }

  bool show_picture(int x, int y, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    int w = 0, h = 0;
    in >> w >> h;
    in.get();
    if (!in || w <= 0 || h <= 0) return false;
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
    if (!in.read(reinterpret_cast<char*>(bgr.data()), static_cast<std::streamsize>(bgr.size())))
      return false;
    pixels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = (uint32_t{bgr[i * 3 + 2]} << 16) | (uint32_t{bgr[i * 3 + 1]} << 8) | bgr[i * 3];
    put(x, y, w, h);
    return true;
  }

  void tick() {
    if (mode == still || now_ns() < next_frame) return;
    if (mode == clock) draw_clock();
    if (mode == video) draw_video();
    XSync(display, False);
    next_frame += mode == clock ? clock_period_ns : video_period_ns;
  }

  bool command(const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "still") {
      mode = still;
    } else if (verb == "clock") {
      mode = clock;
      next_frame = now_ns();
    } else if (verb == "video") {
      mode = video;
      words >> video_x >> video_y;
      next_frame = now_ns();
    } else if (verb == "game") {
      int x = 0, y = 0;
      std::string path;
      words >> x >> y >> path;
      if (!show_picture(x, y, path)) return false;
    } else if (verb == "hide") {
      wallpaper();
    } else {
      return false;
    }
    XSync(display, False);
    return true;
  }
};

}  // namespace

int main() {
  painter p;
  p.display = XOpenDisplay(nullptr);
  if (p.display == nullptr) {
    std::cerr << "bench_desktop_painter: cannot open the X display\n";
    return 1;
  }
  p.root = DefaultRootWindow(p.display);
  p.width = DisplayWidth(p.display, DefaultScreen(p.display));
  p.height = DisplayHeight(p.display, DefaultScreen(p.display));
  p.gc = XCreateGC(p.display, p.root, 0, nullptr);
  XSetSubwindowMode(p.display, p.gc, IncludeInferiors);
  p.wallpaper();
  XSync(p.display, False);
  std::printf("ok %lld\n", static_cast<long long>(now_ns()));
  std::fflush(stdout);

  std::string pending;
  for (;;) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int64_t wait_ns = p.mode == painter::still ? 1'000'000'000 : p.next_frame - now_ns();
    if (poll(&in, 1, static_cast<int>(std::max<int64_t>(0, wait_ns / 1'000'000))) > 0) {
      char chunk[256];
      const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
      if (n <= 0) break;
      pending.append(chunk, static_cast<size_t>(n));
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const bool ok = p.command(pending.substr(0, end));
        pending.erase(0, end + 1);
        std::printf("%s %lld\n", ok ? "ok" : "bad", static_cast<long long>(now_ns()));
        std::fflush(stdout);
      }
    }
    p.tick();
  }
  XCloseDisplay(p.display);
  return 0;
}
