// The X11 desktop grab on a private Xvfb: the pattern on the screen arrives
// upright and exact in capture.bmp through both fetch paths, and a missing or
// vanished display fails with one line on the error stream.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "control/screen_capture.h"
#include "control/template_store.h"
#include "control/x11_grab.h"
#include "control/x11_paint.h"
#include "support/test_support.h"

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

class x11_capture : public ::testing::TestWithParam<x11_fetch> {};

TEST_P(x11_capture, screen_arrives_upright_and_exact_in_capture_bmp) {
  const cv::Size screen(1366, 768);  // 4100-byte rows: two padding bytes each
  test_support::xvfb_server server(screen.width, screen.height);
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  scoped_display_env env(server.display());
  test_support::scoped_work_dir dir;

  std::ostringstream error;
  x11_grabber_ptr grabber = open_x11_grabber(error, GetParam());
  ASSERT_TRUE(grabber) << error.str();
  platform p;
  p.grab_screen = [&](screen_grab& grab) { return x11_grab_screen(*grabber, grab); };
  p.pause = [](int) {};

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
    EXPECT_EQ(capture_screen(p), 0);
    const cv::Mat loaded = as_stored_load(capture_file_name);
    ASSERT_EQ(loaded.type(), CV_8UC3);
    ASSERT_EQ(loaded.size(), screen);
    EXPECT_EQ(cv::norm(loaded, expected_screen(screen, pattern), cv::NORM_INF), 0.0);
    EXPECT_EQ(fs::file_size(capture_file_name), 54u + 4100u * 768u);
  }
  // The test server offers MIT-SHM, so the shared path must really be the one used.
  EXPECT_EQ(x11_grabber_fetch(*grabber), GetParam());
  EXPECT_EQ(error.str(), "");
}

INSTANTIATE_TEST_SUITE_P(fetch_paths, x11_capture,
                         ::testing::Values(x11_fetch::shared_memory, x11_fetch::get_image),
                         [](const auto& info) {
                           return info.param == x11_fetch::shared_memory ? "shared_memory"
                                                                         : "get_image";
                         });

// A display number nobody serves.
std::string unused_display() {
  for (int n = 999; n > 900; --n)
    if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) return ":" + std::to_string(n);
  return ":999";
}

TEST(x11_grab_failure, no_display_fails_with_one_line_and_no_capture) {
  const std::optional<std::string> displays[] = {std::nullopt, unused_display()};
  for (const auto& display : displays) {
    scoped_display_env env(display);
    test_support::scoped_work_dir dir;
    std::ostringstream error;
    platform p;
    p.grab_screen = make_x11_grab(error);
    p.pause = [](int) {};
    std::ofstream(capture_file_name) << "stale";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(capture_screen(p), 0);
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
  auto server = std::make_unique<test_support::xvfb_server>(320, 200);
  ASSERT_FALSE(server->display().empty());
  scoped_display_env env(server->display());
  std::ostringstream error;
  const auto grab_screen = make_x11_grab(error);
  screen_grab grab;
  ASSERT_TRUE(grab_screen(grab));
  EXPECT_EQ(grab.width, 320);

  server.reset();
  EXPECT_FALSE(grab_screen(grab));
  EXPECT_FALSE(grab_screen(grab));  // reconnecting fails too, silently
  EXPECT_EQ(count_lines(error.str()), 1) << error.str();
  EXPECT_NE(error.str().find("lost the connection"), std::string::npos) << error.str();
}

}  // namespace
