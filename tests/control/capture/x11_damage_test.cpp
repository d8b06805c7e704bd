// The X11 grab's change reports on a private Xvfb: after a grab the screen is
// unchanged until anything is drawn, on the root or in any window, and a grab
// after a change is current again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "control/capture/linux/x11_grab.h"
#include "control/capture/x11_paint.h"
#include "control/capture/x11_window.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;

TEST(x11_change_reports, a_grab_is_current_until_anything_is_drawn) {
  auto server = std::make_unique<practice::xvfb>(640, 400);
  const std::string display = server->display();
  ASSERT_FALSE(display.empty()) << server->failure();
  setenv("DISPLAY", display.c_str(), 1);
  x11_grab grab{.error = &std::cerr};
  screen_grab g;
  for (int i = 0; i < 250 && !grab_x11_screen(grab, g); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::shared_ptr<x11_window::window> window;

  struct step {
    const char* what;
    std::function<void()> change;  // drawn between the grab and the question
    bool grab_first;
    bool unchanged;
  } steps[] = {
      {"nothing drawn since the grab", [] {}, true, true},
      {"a rectangle on the root window",
       [&] {
         x11_paint::paint_root(display, {{10, 10, 5, 5, 0x123456}});
       },
       true, false},
      {"reported until the next grab", [] {}, false, false},
      {"nothing drawn since the grab after it", [] {}, true, true},
      {"a window mapped", [&] { window = x11_window::show(display, 100, 80, 60, 40, 0xFF0000); },
       true, false},
      {"a window drawn in", [&] { x11_window::fill(*window, 0x00FF00); }, true, false},
      {"a window closed", [&] { window.reset(); }, true, false},
      {"the server gone", [&] { server.reset(); }, true, false},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.grab_first) {
      ASSERT_TRUE(grab_x11_screen(grab, g));
    }
    s.change();
    EXPECT_EQ(x11_screen_unchanged(grab), s.unchanged);
  }
}

}  // namespace
