// Runs the cross-built capture-once.exe under Wine on an Xvfb screen that shows
// a known picture, and checks "capture.bmp" byte for byte and the program's
// code page 932 console text.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace fs = std::filesystem;

namespace {

constexpr int screen_width = 1366;
constexpr int screen_height = 768;

struct rgb {
  uint8_t r, g, b;
};

// A colour of its own for every pixel of the screen, so that a shifted,
// flipped or channel-swapped copy, or anything Wine draws, shows up.
rgb pattern_colour(int x, int y) {
  return {static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(y & 0xFF),
          static_cast<uint8_t>(0x40 | (x >> 8) | ((y >> 8) << 3))};
}

// Keeps the pattern as the root window's background (repainted on any
// exposure) and holds the connection open, because Xvfb resets the screen
// when its last client leaves.
class root_pattern {
 public:
  explicit root_pattern(const std::string& display_name) {
    display_ = XOpenDisplay(display_name.c_str());
    if (display_ == nullptr) return;
    const int screen = DefaultScreen(display_);
    Visual* visual = DefaultVisual(display_, screen);
    if (DefaultDepth(display_, screen) != 24 || visual->red_mask != 0xFF0000 ||
        visual->green_mask != 0x00FF00 || visual->blue_mask != 0x0000FF) {
      return;
    }
    const Window root = RootWindow(display_, screen);
    XImage* image =
        XCreateImage(display_, visual, 24, ZPixmap, 0, nullptr, screen_width, screen_height, 32, 0);
    image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * screen_height));
    for (int y = 0; y < screen_height; ++y) {
      for (int x = 0; x < screen_width; ++x) {
        const rgb c = pattern_colour(x, y);
        XPutPixel(image, x, y, (unsigned long)c.r << 16 | c.g << 8 | c.b);
      }
    }
    const Pixmap pixmap = XCreatePixmap(display_, root, screen_width, screen_height, 24);
    const GC gc = XCreateGC(display_, pixmap, 0, nullptr);
    XPutImage(display_, pixmap, gc, image, 0, 0, 0, 0, screen_width, screen_height);
    XSetWindowBackgroundPixmap(display_, root, pixmap);
    XClearWindow(display_, root);
    XFreeGC(display_, gc);
    XFreePixmap(display_, pixmap);
    XDestroyImage(image);
    XSync(display_, False);
    shown_ = true;
  }
  ~root_pattern() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  root_pattern(const root_pattern&) = delete;
  root_pattern& operator=(const root_pattern&) = delete;
  bool shown() const { return shown_; }

 private:
  Display* display_ = nullptr;
  bool shown_ = false;
};

struct run_result {
  bool finished = false;  // false: killed at the time limit
  int exit_code = -1;
};

// Runs argv in `work_dir` with extra environment variables, standard output
// and error into files, and kills its process group after `limit`.
run_result run_bounded(const std::vector<std::string>& argv,
                       const std::vector<std::pair<std::string, std::string>>& env,
                       const fs::path& work_dir, const fs::path& out, const fs::path& err,
                       std::chrono::seconds limit) {
  const std::optional<int> status = practice::run_process(
      {.argv = argv, .dir = work_dir, .env = env, .output = out, .errors = err, .own_group = true},
      limit);
  run_result result;
  result.finished = status.has_value();
  if (status && WIFEXITED(*status)) result.exit_code = WEXITSTATUS(*status);
  return result;
}

using test_support::read_file;

// UTF-8 to code page 932 by the C library, independently of pitchlog's converter.
std::string iconv_cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == (iconv_t)-1) return "<no iconv CP932>";
  std::string out(utf8.size() * 2, '\0');
  char* in_p = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* out_p = out.data();
  size_t out_left = out.size();
  const size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
  iconv_close(cd);
  if (done == (size_t)-1) return "<iconv failed>";
  out.resize(out.size() - out_left);
  return out;
}

uint32_t le(const std::string& bytes, size_t offset, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) value = value << 8 | uint8_t(bytes[offset + i]);
  return value;
}

class wine_capture : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = PITCHLOG_CAPTURE_ONCE_EXE;
    ASSERT_FALSE(exe_.empty()) << "no mingw-w64 compiler: capture-once.exe was not built";
    ASSERT_FALSE(std::string(PITCHLOG_WINE).empty()) << "Wine is not installed";
    ASSERT_TRUE(fs::exists(exe_)) << exe_;
    ASSERT_FALSE(xvfb_.display().empty()) << xvfb_.failure();
    env_ = {{"WINEPREFIX", PITCHLOG_BINARY_DIR "/wine-prefix"},
            {"WINEDEBUG", "-all"},
            // No Mono or Gecko installer at the first start.
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},
            {"DISPLAY", xvfb_.display()}};
    // A server left by an earlier run would still talk to that run's display.
    stop_wineserver();
    if (!fs::exists(PITCHLOG_BINARY_DIR "/wine-prefix/system.reg")) {
      // The first start builds the prefix; it takes seconds to a few minutes.
      const run_result boot = run_wine({PITCHLOG_WINE, "wineboot", "-i"}, std::chrono::minutes(5));
      ASSERT_TRUE(boot.finished && boot.exit_code == 0)
          << "Wine cannot start (wineboot -i " << (boot.finished ? "failed" : "timed out")
          << "): " << read_file(work_.path() / "stderr.txt");
    }
  }

  void TearDown() override {
    if (!env_.empty()) stop_wineserver();
  }

  run_result run_wine(const std::vector<std::string>& argv, std::chrono::seconds limit) {
    return run_bounded(argv, env_, work_.path(), work_.path() / "stdout.txt",
                       work_.path() / "stderr.txt", limit);
  }

  void stop_wineserver() {
    if (std::string(PITCHLOG_WINESERVER).empty()) return;
    run_wine({PITCHLOG_WINESERVER, "-k"}, std::chrono::seconds(30));
    run_wine({PITCHLOG_WINESERVER, "-w"}, std::chrono::seconds(30));
  }

  practice::xvfb xvfb_{screen_width, screen_height};
  test_support::scoped_work_dir work_;
  std::string exe_;
  std::vector<std::pair<std::string, std::string>> env_;
};

TEST_F(wine_capture, desktop_lands_in_capture_bmp_and_console_text_is_code_page_932) {
  root_pattern pattern(xvfb_.display());
  ASSERT_TRUE(pattern.shown()) << "cannot draw on " << xvfb_.display();
  // A longer file from before must be cut to the new capture's length.
  std::ofstream(work_.path() / "capture.bmp", std::ios::binary) << std::string(4'000'000, '\xAA');

  const run_result run = run_wine({PITCHLOG_WINE, exe_}, std::chrono::minutes(2));
  ASSERT_TRUE(run.finished) << "capture-once.exe did not end";
  EXPECT_EQ(run.exit_code, 0) << read_file(work_.path() / "stderr.txt");

  // The console text: message, report line and reference picture path.
  const std::string expected_console =
      iconv_cp932("ファイルが読み込めません。\n") +
      iconv_cp932("ストレート：40%,カーブ：20%,フォーク：20%,シュート：20%\n") +
      "data\\低め.png\n";  // in UTF-8, opened through the wide file API
  EXPECT_EQ(read_file(work_.path() / "stdout.txt"), expected_console);

  const std::string bmp = read_file(work_.path() / "capture.bmp");
  const uint32_t stride = 4100;           // 3 * 1366 = 4098, padded to a multiple of 4
  const uint32_t image_size = 3'148'800;  // 4100 * 768
  ASSERT_EQ(bmp.size(), 54u + image_size);

  struct field {
    size_t offset, size;
    uint32_t value;
    const char* name;
  };
  const field header[] = {
      {0, 2, 0x4D42, "signature BM"},
      {2, 4, 3'148'854, "file size"},
      {6, 2, 0, "reserved"},
      {8, 2, 0, "reserved"},
      {10, 4, 54, "pixel data offset"},
      {14, 4, 40, "info header size"},
      {18, 4, screen_width, "width"},
      {22, 4, screen_height, "height (positive: bottom-up)"},
      {26, 2, 1, "planes"},
      {28, 2, 24, "bits per pixel"},
      {30, 4, 0, "compression"},
      {34, 4, image_size, "image size"},
      {38, 4, 0, "horizontal resolution"},
      {42, 4, 0, "vertical resolution"},
      {46, 4, 0, "colours used"},
      {50, 4, 0, "important colours"},
  };
  for (const field& f : header) EXPECT_EQ(le(bmp, f.offset, f.size), f.value) << f.name;

  // Rows bottom first, blue-green-red, then two zero padding bytes.
  int wrong_pixels = 0, wrong_paddings = 0, first_x = -1, first_y = -1;
  for (int row = 0; row < screen_height; ++row) {
    const int y = screen_height - 1 - row;
    const size_t start = 54 + size_t(row) * stride;
    for (int x = 0; x < screen_width; ++x) {
      const rgb c = pattern_colour(x, y);
      const size_t at = start + size_t(x) * 3;
      if (uint8_t(bmp[at]) != c.b || uint8_t(bmp[at + 1]) != c.g || uint8_t(bmp[at + 2]) != c.r) {
        if (wrong_pixels++ == 0) first_x = x, first_y = y;
      }
    }
    if (bmp[start + 4098] != 0 || bmp[start + 4099] != 0) ++wrong_paddings;
  }
  EXPECT_EQ(wrong_pixels, 0) << "first wrong pixel at (" << first_x << ", " << first_y << ")";
  EXPECT_EQ(wrong_paddings, 0);
}

}  // namespace
