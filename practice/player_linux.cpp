// `practice-game play`: the practice game in an undecorated X11 window, in real
// time. The only file of the practice game that includes Xlib.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "practice/options.h"
#include "practice/player.h"
#include "practice/renderer.h"
#include "practice/scenario.h"

namespace practice {

namespace {

constexpr const char* usage =
    "usage: practice-game play [--seed N | --scenario FILE] [--innings K] [--pitches P] [--x X --y "
    "Y] "
    "[--truth FILE] [--slow F]\n";

// 40 frames per second: every view change shows within 25 ms.
constexpr std::chrono::milliseconds frame_period{25};

struct play_options {
  seeded_game_options seeded;
  std::string scenario_path;
  std::string truth_path;
  double slow = 1.0;  // game time runs this many times slower than the clock
};

bool parse_options(int argc, char** argv, play_options& o, std::string& error) {
  const bool read = read_options(
      {argv + 1, argv + argc},
      [&](std::string_view flag, std::string_view value) {
        const option_read shared = read_seeded_game_option(flag, value, o.seeded);
        if (shared != option_read::unknown) return shared;
        bool ok = true;
        if (flag == "--scenario") {
          o.scenario_path = value;
        } else if (flag == "--truth") {
          o.truth_path = value;
        } else if (flag == "--slow") {
          ok = parse_number(value, o.slow) && o.slow >= 0.25 && o.slow <= 10;
        } else {
          return option_read::unknown;
        }
        return ok ? option_read::ok : option_read::bad_value;
      },
      error);
  if (!read) return false;
  if (o.seeded.seed && !o.scenario_path.empty()) {
    error = "--seed and --scenario exclude each other";
    return false;
  }
  return true;
}

// The window, its graphics context and the client-side image it is painted from.
struct game_window {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  std::vector<uint32_t> pixels;  // the image's memory, owned here
  bool mapped = false;

  ~game_window() {
    if (!display) return;
    if (image) {
      image->data = nullptr;  // the memory belongs to `pixels`
      XDestroyImage(image);
    }
    if (gc) XFreeGC(display, gc);
    if (window) XDestroyWindow(display, window);
    XCloseDisplay(display);
  }
};

// Opens the display and makes an override-redirect window of the game's size
// at (x, y); false, after one line on standard error, when that is not possible.
bool open_window(game_window& w, int x, int y) {
  w.display = XOpenDisplay(nullptr);
  if (!w.display) {
    std::fputs("practice-game play: cannot open the X display (is DISPLAY set?)\n", stderr);
    return false;
  }
  const int screen = DefaultScreen(w.display);
  Visual* visual = DefaultVisual(w.display, screen);
  const int depth = DefaultDepth(w.display, screen);
  // The picture is copied as 32-bit pixels with blue in the low byte.
  if ((depth != 24 && depth != 32) || visual->red_mask != 0xFF0000 ||
      visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) {
    std::fputs("practice-game play: the display needs a 24-bit true-colour visual\n", stderr);
    return false;
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(w.display, screen);
  w.window =
      XCreateWindow(w.display, RootWindow(w.display, screen), x, y, game_width, game_height, 0,
                    depth, InputOutput, visual, CWOverrideRedirect | CWBackPixel, &attributes);
  XStoreName(w.display, w.window, "practice-game");
  XSelectInput(w.display, w.window, ExposureMask);
  w.gc = XCreateGC(w.display, w.window, 0, nullptr);
  w.pixels.assign(static_cast<std::size_t>(game_width) * game_height, 0);
  w.image =
      XCreateImage(w.display, visual, depth, ZPixmap, 0, reinterpret_cast<char*>(w.pixels.data()),
                   game_width, game_height, 32, game_width * 4);
  if (!w.image || w.image->byte_order != LSBFirst || w.image->bits_per_pixel != 32) {
    std::fputs("practice-game play: unsupported X image format\n", stderr);
    return false;
  }
  return true;
}

void put_picture(game_window& w) {
  XPutImage(w.display, w.window, w.gc, w.image, 0, 0, 0, 0, game_width, game_height);
  XFlush(w.display);
}

void show_window(game_window& w, bool visible) {
  if (visible == w.mapped) return;
  if (visible)
    XMapRaised(w.display, w.window);
  else
    XUnmapWindow(w.display, w.window);
  w.mapped = visible;
  XFlush(w.display);
}

}  // namespace

int run_play_command(int argc, char** argv) {
  play_options options;
  std::string error;
  if (!parse_options(argc, argv, options, error)) {
    std::fprintf(stderr, "practice-game play: %s\n%s", error.c_str(), usage);
    return 2;
  }
  scenario game;
  if (!options.scenario_path.empty()) {
    std::optional<scenario> loaded = load_scenario(options.scenario_path, error);
    if (!loaded) {
      std::fprintf(stderr, "practice-game play: %s\n", error.c_str());
      return 1;
    }
    game = std::move(*loaded);
  } else {
    game = generate_scenario(options.seeded.seed.value_or(1), options.seeded.innings);
    if (options.seeded.pitches > 0) end_after_pitch(game, options.seeded.pitches);
  }
  const int x = options.seeded.x.value_or(game.desktop.game_x);
  const int y = options.seeded.y.value_or(game.desktop.game_y);

  std::ofstream truth_file;
  if (!options.truth_path.empty()) {
    truth_file.open(options.truth_path, std::ios::binary | std::ios::trunc);
    if (!truth_file) {
      std::fprintf(stderr, "practice-game play: cannot write %s\n", options.truth_path.c_str());
      return 1;
    }
  }
  const std::vector<truth_pitch> truth = truth_of(game);

  game_window w;
  if (!open_window(w, x, y)) return 1;
  std::printf("practice-game: %zu pitches, %.1f s, game picture at (%d, %d)\n", truth.size(),
              static_cast<double>(game.end_ms) / 1000.0, x, y);
  std::fflush(stdout);

  render_cache layers;
  cv::Mat picture;
  cv::Mat bgra(game_height, game_width, CV_8UC4, w.pixels.data());
  std::optional<game_view> shown;
  bool painted = false;
  std::size_t next_truth = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto tick = start;; tick += frame_period) {
    const auto now = std::chrono::steady_clock::now();
    if (tick < now - frame_period) tick = now;  // fell behind: drop frames, keep the clock
    std::this_thread::sleep_until(tick);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    const auto t = static_cast<int64_t>(elapsed.count() / options.slow);
    for (; next_truth < truth.size() && truth[next_truth].time_ms <= t; ++next_truth)
      if (truth_file.is_open()) truth_file << truth_line(truth[next_truth]) << '\n' << std::flush;
    if (t >= game.end_ms) break;

    bool expose = false;
    while (XPending(w.display)) {
      XEvent event;
      XNextEvent(w.display, &event);
      if (event.type == Expose) expose = true;
    }
    const std::optional<game_view> view = view_at(game, t);
    show_window(w, view.has_value());
    if (view && (view != shown || !painted)) {
      render_game(*view, layers, picture);
      cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA);
      painted = false;
    }
    shown = view;
    if (view && (!painted || expose)) {
      put_picture(w);
      painted = true;
    }
  }
  return 0;
}

int run_show_command(int argc, char** argv, const view_parser& parse) {
  int x = 0, y = 0;
  for (int i = 1; i < argc; i += 2) {
    const std::string_view flag = argv[i];
    int v = 0;
    if ((flag != "--x" && flag != "--y") || i + 1 >= argc || !parse_number(argv[i + 1], v)) {
      std::fputs("usage: practice-game show [--x X --y Y]\n", stderr);
      return 2;
    }
    (flag == "--x" ? x : y) = v;
  }
  game_window w;
  if (!open_window(w, x, y)) return 1;
  render_cache layers;
  cv::Mat picture;
  cv::Mat bgra(game_height, game_width, CV_8UC4, w.pixels.data());
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "hide") {
      show_window(w, false);
      XSync(w.display, False);
      std::printf("hidden\n");
      std::fflush(stdout);
      continue;
    }
    game_view view;
    std::string error;
    if (!parse(line, view, error)) {
      std::fprintf(stderr, "practice-game show: %s\n", error.c_str());
      return 2;
    }
    render_game(view, layers, picture);
    cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA);
    if (!w.mapped) {
      // Drawing reaches the screen only once the window is mapped.
      show_window(w, true);
      XEvent event;
      XWindowEvent(w.display, w.window, ExposureMask, &event);
    }
    put_picture(w);
    XSync(w.display, False);
    std::printf("shown\n");
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace practice
