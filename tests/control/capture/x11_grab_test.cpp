// The X11 desktop grab on a private Xvfb: the pattern on the screen arrives
// upright and exact in capture.bmp through both fetch paths, and a missing or
// vanished display fails with one line on the error stream.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/linux/x11_grab.h"
#include "control/capture/row_pack.h"
#include "control/capture/screen_capture.h"
#include "control/capture/x11_paint.h"
#include "control/templates/template_store.h"
#include "support/test_support.h"

namespace pitchlog {
void PrintTo(x11_fetch fetch, std::ostream* os) {
  *os << (fetch == x11_fetch::shared_memory ? "shared_memory" : "get_image");
}
}  // namespace pitchlog

namespace fs = std::filesystem;
using namespace pitchlog;
using x11_paint::filled_rect;

namespace {

// Sets DISPLAY (or unsets it for nullopt) for one test and puts it back.
class scoped_display_env {
 public:
  explicit scoped_display_env(const std::optional<std::string>& value) {
    if (const char* old = std::getenv("DISPLAY")) old_ = old;
    if (value) {
      setenv("DISPLAY", value->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }
  ~scoped_display_env() {
    if (old_) {
      setenv("DISPLAY", old_->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

 private:
  std::optional<std::string> old_;
};

int count_lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The screen as painted, in the colours a capture loads them (B, G, R).
cv::Mat expected_screen(cv::Size size, const std::vector<filled_rect>& rects) {
  cv::Mat screen(size, CV_8UC3, cv::Scalar(0, 0, 0));
  for (const filled_rect& r : rects) {
    const cv::Scalar bgr(r.rgb & 0xFF, (r.rgb >> 8) & 0xFF, (r.rgb >> 16) & 0xFF);
    screen(cv::Rect(r.x, r.y, r.width, r.height) & cv::Rect(cv::Point(), size)).setTo(bgr);
  }
  return screen;
}

// Xvfb's socket shows before the server takes clients; wait (bounded) until
// it does. Holding the connection also keeps Xvfb from resetting, and briefly
// refusing clients, whenever its last other client leaves.
x11_grabber_ptr open_when_ready(x11_fetch fetch) {
  std::ostream quiet(nullptr);
  for (int i = 0; i < 250; ++i) {
    if (x11_grabber_ptr g = open_x11_grabber(quiet, fetch)) return g;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

class x11_capture : public ::testing::TestWithParam<x11_fetch> {};

TEST_P(x11_capture, screen_arrives_upright_and_exact_in_capture_bmp) {
  const cv::Size screen(1366, 768);  // 4100-byte rows: two padding bytes each
  practice::xvfb server(screen.width, screen.height);
  ASSERT_FALSE(server.display().empty()) << server.failure();
  scoped_display_env env(server.display());
  test_support::scoped_work_dir dir;

  ASSERT_TRUE(open_when_ready(GetParam()));
  std::ostringstream error;
  x11_grab grabber{.error = &error, .preferred = GetParam()};
  platform p;
  p.source.grab = [&](screen_grab& grab) { return grab_x11_screen(grabber, grab); };

  // Corners, edges and an odd-sized block catch flipped rows, shifted
  // columns and swapped channels; the second pattern catches a stale buffer.
  const std::vector<std::vector<filled_rect>> patterns = {
      {{0, 0, 1366, 768, 0x000000},
       {0, 0, 1, 1, 0x0000FF},
       {1365, 767, 1, 1, 0xFFFFFF},
       {0, 767, 3, 1, 0xFF0000},
       {1365, 0, 1, 5, 0x00FF00},
       {100, 50, 31, 17, 0x123456},
       {1300, 700, 66, 68, 0xABCDEF}},
      {{0, 0, 1366, 768, 0x202020}, {683, 384, 200, 100, 0xFEDCBA}, {1, 766, 7, 2, 0x010203}},
  };
  for (const auto& pattern : patterns) {
    ASSERT_TRUE(x11_paint::paint_root(server.display(), pattern));
    capture_screen(p);
    const cv::Mat loaded = as_stored_load(capture_file_name);
    ASSERT_EQ(loaded.type(), CV_8UC3);
    ASSERT_EQ(loaded.size(), screen);
    EXPECT_EQ(cv::norm(loaded, expected_screen(screen, pattern), cv::NORM_INF), 0.0);
    EXPECT_EQ(fs::file_size(capture_file_name), 54u + 4100u * 768u);
    // The rows are packed inside the server image: its leftover bytes must
    // not show in the padding.
    std::ifstream file(capture_file_name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    int nonzero_padding = 0;
    for (size_t row = 0; row < 768 && bytes.size() == 54u + 4100u * 768u; ++row)
      nonzero_padding +=
          (bytes[54 + row * 4100 + 4098] != 0) + (bytes[54 + row * 4100 + 4099] != 0);
    EXPECT_EQ(nonzero_padding, 0);
  }
  // The test server offers MIT-SHM, so the shared path must really be the one used.
  ASSERT_TRUE(grabber.grabber);
  EXPECT_EQ(x11_grabber_fetch(*grabber.grabber), GetParam());
  EXPECT_EQ(error.str(), "");
}

INSTANTIATE_TEST_SUITE_P(fetch_paths, x11_capture,
                         ::testing::Values(x11_fetch::shared_memory, x11_fetch::get_image),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

TEST(x11_capture_resize, follows_the_screen_as_it_shrinks_and_grows_back) {
  practice::xvfb server(1366, 768);
  ASSERT_FALSE(server.display().empty()) << server.failure();
  scoped_display_env env(server.display());
  test_support::scoped_work_dir dir;
  ASSERT_TRUE(open_when_ready(x11_fetch::shared_memory));
  std::ostringstream error;
  x11_grab grabber{.error = &error};
  platform p;
  p.source.grab = [&](screen_grab& grab) { return grab_x11_screen(grabber, grab); };

  for (const cv::Size size : {cv::Size(1366, 768), cv::Size(1024, 600), cv::Size(1366, 768)}) {
    // xrandr complains about the output, but resizes the screen.
    const std::string fb = std::to_string(size.width) + "x" + std::to_string(size.height);
    const std::optional<int> ran = practice::run_process(
        {.argv = {"xrandr", "--fb", fb}, .env = {{"DISPLAY", server.display()}}},
        std::chrono::seconds(30));
    ASSERT_TRUE(ran && WIFEXITED(*ran) && WEXITSTATUS(*ran) != 127) << "xrandr did not run";
    const std::vector<filled_rect> pattern = {{0, 0, size.width, size.height, 0x336699},
                                              {size.width - 2, size.height - 1, 2, 1, 0xFF8000}};
    ASSERT_TRUE(x11_paint::paint_root(server.display(), pattern));
    capture_screen(p);
    const cv::Mat loaded = as_stored_load(capture_file_name);
    ASSERT_EQ(loaded.size(), size);
    EXPECT_EQ(cv::norm(loaded, expected_screen(size, pattern), cv::NORM_INF), 0.0);
  }
  ASSERT_TRUE(grabber.grabber);
  EXPECT_EQ(x11_grabber_fetch(*grabber.grabber), x11_fetch::shared_memory);
}

// Every packer the processor runs, on widths around its 4-, 8- and 16-pixel
// blocks and its tail limits, and on common screen widths.
std::vector<int> packing_widths() {
  std::vector<int> widths;
  for (int w = 1; w <= 70; ++w) widths.push_back(w);
  for (int w : {1366, 1920, 1921}) widths.push_back(w);
  return widths;
}

std::vector<uint8_t> pattern_bytes(size_t n, unsigned seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + seed * 101 + (i >> 8));
  return bytes;
}

class x11_row_packing : public ::testing::TestWithParam<pack_kernel> {};

TEST_P(x11_row_packing, drops_the_fourth_byte_and_writes_nothing_past_the_row) {
  for (int width : packing_widths()) {
    const std::vector<uint8_t> source = pattern_bytes(static_cast<size_t>(width) * 4, width);
    // Guard bytes after the row catch overruns.
    std::vector<uint8_t> target(static_cast<size_t>(width) * 3 + 64, 0xA5);
    pack_bgrx_row(source.data(), target.data(), width, GetParam());
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(target[x * 3 + c], source[x * 4 + c]) << "width " << width << " pixel " << x;
    for (size_t i = static_cast<size_t>(width) * 3; i < target.size(); ++i)
      ASSERT_EQ(target[i], 0xA5) << "width " << width << " wrote past the row";
  }
}

TEST_P(x11_row_packing, packs_a_whole_image_in_place_top_down_with_zero_padding) {
  constexpr int height = 4;
  for (int width : packing_widths()) {
    // Server images have 4 * width bytes a line; a wider line must work too.
    for (int bytes_per_line : {width * 4, width * 4 + 60}) {
      std::vector<uint8_t> image =
          pattern_bytes(static_cast<size_t>(bytes_per_line) * height, width);
      const std::vector<uint8_t> source = image;
      pack_bgrx_rows_in_place(image.data(), width, height, bytes_per_line, GetParam());
      const size_t stride = static_cast<size_t>(bmp_stride(width));
      for (int y = 0; y < height; ++y) {
        const uint8_t* packed = image.data() + y * stride;
        const uint8_t* row = source.data() + static_cast<size_t>(y) * bytes_per_line;
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < 3; ++c)
            ASSERT_EQ(packed[x * 3 + c], row[x * 4 + c])
                << "width " << width << " line " << bytes_per_line << " row " << y << " pixel "
                << x;
        for (size_t i = static_cast<size_t>(width) * 3; i < stride; ++i)
          ASSERT_EQ(packed[i], 0) << "width " << width << " row " << y << " padding";
      }
    }
  }
}

std::string packer_name(const ::testing::TestParamInfo<pack_kernel>& info) {
  constexpr const char* names[] = {"scalar", "ssse3"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(packers, x11_row_packing,
                         ::testing::Values(pack_kernel::scalar, pack_kernel::ssse3), packer_name);

// A display number nobody serves.
std::string unused_display() {
  for (int n = 999; n > 900; --n)
    if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) return ":" + std::to_string(n);
  return ":999";
}

TEST(x11_grab_failure, no_display_fails_with_one_line_and_no_capture) {
  const std::optional<std::string> displays[] = {std::nullopt, unused_display()};
  for (const auto& display : displays) {
    SCOPED_TRACE(display.value_or("no DISPLAY"));
    scoped_display_env env(display);
    test_support::scoped_work_dir dir;
    std::ostringstream error;
    x11_grab grabber{.error = &error};
    platform p;
    p.source.grab = [&](screen_grab& grab) { return grab_x11_screen(grabber, grab); };
    std::ofstream(capture_file_name) << "stale";
    for (int i = 0; i < 3; ++i) capture_screen(p);
    EXPECT_FALSE(fs::exists(capture_file_name));
    EXPECT_EQ(count_lines(error.str()), 1) << error.str();
    EXPECT_EQ(error.str().rfind("pitchlog: cannot open the X display", 0), 0u) << error.str();
    if (display) {
      EXPECT_NE(error.str().find("\"" + *display + "\""), std::string::npos);
    }

    std::ostringstream direct_error;
    EXPECT_FALSE(open_x11_grabber(direct_error));
    EXPECT_EQ(count_lines(direct_error.str()), 1);
  }
}

TEST(x11_grab_failure, vanished_server_fails_the_grab_instead_of_ending_the_process) {
  auto server = std::make_unique<practice::xvfb>(320, 200);
  ASSERT_FALSE(server->display().empty()) << server->failure();
  scoped_display_env env(server->display());
  x11_grabber_ptr ready = open_when_ready(x11_fetch::get_image);
  ASSERT_TRUE(ready);
  std::ostringstream error;
  x11_grab grabber{.error = &error};
  screen_grab grab;
  ASSERT_TRUE(grab_x11_screen(grabber, grab));
  EXPECT_EQ(grab.width, 320);

  server.reset();
  ready.reset();  // closing a connection whose server is gone must not end the process either
  EXPECT_FALSE(grab_x11_screen(grabber, grab));
  EXPECT_FALSE(grab_x11_screen(grabber, grab));  // reconnecting fails too, silently
  EXPECT_EQ(count_lines(error.str()), 1) << error.str();
  EXPECT_NE(error.str().find("lost the connection"), std::string::npos) << error.str();
}

// A change drawn after the server was asked whether the screen changed, and
// before the next grab: that grab may show it, and the server's report of it
// says so.
TEST(x11_change_reports, a_change_after_the_question_is_reported_with_the_next_grab) {
  practice::xvfb server(320, 200);
  ASSERT_FALSE(server.display().empty()) << server.failure();
  scoped_display_env env(server.display());
  ASSERT_TRUE(open_when_ready(x11_fetch::shared_memory));
  std::ostringstream error;
  x11_grab grabber{.error = &error};
  screen_grab grab;
  for (const bool drawn : {false, true}) {
    SCOPED_TRACE(drawn ? "a rectangle drawn" : "nothing drawn");
    ASSERT_TRUE(grab_x11_screen(grabber, grab));
    ASSERT_TRUE(grab_x11_screen(grabber, grab));
    ASSERT_TRUE(x11_screen_unchanged(grabber));
    if (drawn) {
      ASSERT_TRUE(x11_paint::paint_root(server.display(), {{10, 10, 5, 5, 0x123456}}));
    }
    ASSERT_TRUE(grab_x11_screen(grabber, grab));
    EXPECT_EQ(x11_change_reported_before_grab(grabber), drawn);
  }
}

}  // namespace
