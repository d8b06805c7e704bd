// The live player under Xvfb: the game window appears at the asked place, its
// picture is what the renderer draws and what pitchlog's reference picture
// finds, and every pitch reaches the truth file.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/linux/x11_grab.h"
#include "control/templates/template_store.h"
#include "practice/renderer.h"
#include "practice/scenario.h"
#include "support/test_support.h"

namespace {

using namespace practice;
using namespace std::chrono_literals;

// Short pitches keep the real-time run at about eight seconds; the opening
// view lasts long enough for a window that is slow to show on a busy machine.
constexpr const char* scenario_text = R"({
  "timeline": [
    {"screen": "versus", "ms": 6000, "pitcher": "AKAGI", "hand": "right"},
    {"pitch": "curve", "set_ms": 200, "take_back_ms": 200, "finish_ms": 300, "after_ms": 200},
    {"screen": "absent", "ms": 200},
    {"pitch": "fork", "half": "bottom", "pitcher": "BESSHO", "hand": "left", "strikes": 1,
     "set_ms": 200, "take_back_ms": 200, "finish_ms": 300, "after_ms": 200},
    {"screen": "game_set", "ms": 200}
  ]})";
constexpr int game_x = 500, game_y = 200;

// The desktop of a grab, upright.
cv::Mat upright(const pitchlog::screen_grab& g) {
  const cv::Mat rows(g.height, g.width, CV_8UC3, const_cast<uint8_t*>(g.pixels),
                     static_cast<std::size_t>(((3 * g.width + 3) / 4) * 4));
  cv::Mat screen;
  if (g.top_down) {
    rows.copyTo(screen);
  } else {
    cv::flip(rows, screen, 0);
  }
  return screen;
}

// Sets DISPLAY for this process while alive, restoring the old value.
struct scoped_display {
  std::string old;
  bool had = false;
  explicit scoped_display(const std::string& display) {
    if (const char* d = std::getenv("DISPLAY")) {
      had = true;
      old = d;
    }
    setenv("DISPLAY", display.c_str(), 1);
  }
  ~scoped_display() {
    if (had)
      setenv("DISPLAY", old.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }
};

// Waits up to `limit` for the child; its exit status, or -1 after killing it.
int wait_for(pid_t child, std::chrono::milliseconds limit) {
  std::optional<int> status = practice::wait_process(child, limit);
  if (!status) practice::stop_process(child, SIGKILL);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(player, plays_a_scenario_in_a_window_and_logs_the_truth) {
  practice::xvfb x(1366, 768);
  ASSERT_FALSE(x.display().empty()) << x.failure();
  test_support::scoped_work_dir dir;
  std::ofstream("game.json") << scenario_text;
  std::string error;
  const std::optional<scenario> game = parse_scenario(scenario_text, error);
  ASSERT_TRUE(game) << error;

  const pid_t child = practice::start_process(
      {.argv = {PITCHLOG_BINARY_DIR "/practice-game", "play", "--scenario", "game.json", "--x",
                std::to_string(game_x), "--y", std::to_string(game_y), "--truth", "truth.jsonl"},
       .env = {{"DISPLAY", x.display()}}});
  ASSERT_GE(child, 0);

  // Grab the root window until the opening versus view shows at (X, Y).
  cv::Mat expected;
  render_game(*view_at(*game, 0), expected);
  const cv::Rect area(game_x, game_y, game_width, game_height);
  cv::Mat screen;
  {
    scoped_display display(x.display());
    std::ostringstream grab_errors;
    pitchlog::x11_grab grabber{.error = &grab_errors};
    const auto grab = [&](pitchlog::screen_grab& g) { return grab_x11_screen(grabber, g); };
    const auto give_up = std::chrono::steady_clock::now() + 5800ms;
    for (;;) {
      pitchlog::screen_grab g;
      if (grab(g) && g.width == 1366 && g.height == 768) {
        screen = upright(g);
        if (cv::norm(screen(area), expected, cv::NORM_INF) == 0) break;
      }
      if (std::chrono::steady_clock::now() > give_up) break;
      std::this_thread::sleep_for(50ms);
    }
  }
  ASSERT_FALSE(screen.empty()) << "no grab of the X display";
  EXPECT_EQ(cv::norm(screen(area), expected, cv::NORM_INF), 0)
      << "the window shows the game picture at (" << game_x << ", " << game_y << ")";

  // pitchlog's game-area picture finds it there.
  const cv::Mat reference =
      cv::imread((test_support::source_data_dir() / "低め.png").string(), cv::IMREAD_COLOR);
  ASSERT_FALSE(reference.empty()) << "data/低め.png";
  const pitchlog::match_result found =
      pitchlog::match_template(screen, cv::Rect({}, screen.size()), reference);
  EXPECT_EQ(found.best_location, cv::Point(game_x, game_y));
  EXPECT_TRUE(pitchlog::is_hit(found.best_score, 0.5)) << found.best_score;

  EXPECT_EQ(wait_for(child, std::chrono::milliseconds(game->end_ms) + 5000ms), 0);
  std::ifstream truth_file("truth.jsonl");
  std::string line;
  for (const truth_pitch& p : truth_of(*game)) {
    ASSERT_TRUE(std::getline(truth_file, line)) << "pitch " << p.n;
    EXPECT_EQ(line, truth_line(p));
  }
  EXPECT_FALSE(std::getline(truth_file, line)) << "no more pitches than thrown";
}

TEST(player, refuses_bad_arguments_and_scenarios) {
  test_support::scoped_work_dir dir;
  std::ofstream("bad.json") << R"({"timeline": [{"screen": "menu", "ms": 5}]})";
  struct call {
    const char* arguments;
    int exit_code;
  };
  const call calls[] = {
      {"--seed 1 --scenario bad.json", 2},
      {"--innings 0", 2},
      {"--x", 2},
      {"--speed 2", 2},
      {"--scenario bad.json", 1},
      {"--scenario missing.json", 1},
  };
  for (const call& c : calls) {
    SCOPED_TRACE(c.arguments);
    std::vector<std::string> argv = {PITCHLOG_BINARY_DIR "/practice-game", "play"};
    std::istringstream words(c.arguments);
    for (std::string word; words >> word;) argv.push_back(word);
    const std::optional<int> status = practice::run_process({.argv = argv}, 30s);
    ASSERT_TRUE(status) << c.arguments;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == c.exit_code) << c.arguments;
  }
}

}  // namespace
