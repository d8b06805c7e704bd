// pitchlog-pictures shoot on a private Xvfb, driven through its standard
// input while the practice game shows each screen it asks for: every shot
// holds the screen asked for, a skipped screen is not saved, and the next
// shoot asks for it alone.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "pictures/piped_child.h"
#include "practice/renderer.h"
#include "practice/shots.h"
#include "support/test_support.h"

namespace {

using test_support::child;
using test_support::finish;
using test_support::spawn;

// Runs shoot into shots/, showing each screen it asks for; answers "skip"
// for the labels in `skip`. The labels asked for, in order.
std::vector<std::string> shoot(const std::string& display, child& show,
                               const std::set<std::string>& skip, int& exit_code) {
  child c =
      spawn({PITCHLOG_BINARY_DIR "/pitchlog-pictures", "shoot", "shots"}, {{"DISPLAY", display}});
  return test_support::drive_shoot(c, show, skip, exit_code);
}

TEST(shoot, saves_each_screen_asked_for_and_asks_again_for_a_skipped_one) {
  practice::xvfb x(1280, 800);
  ASSERT_FALSE(x.display().empty()) << x.failure();
  test_support::scoped_work_dir dir;
  const practice::desktop_layout layout = practice::shot_layout();
  child show = spawn({PITCHLOG_BINARY_DIR "/practice-game", "show", "--x",
                      std::to_string(layout.game_x), "--y", std::to_string(layout.game_y)},
                     {{"DISPLAY", x.display()}});

  std::vector<std::string> labels;
  for (const practice::labelled_view& v : practice::shot_views()) labels.emplace_back(v.label);
  int code = -1;
  const std::vector<std::string> first = shoot(x.display(), show, {"warning"}, code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()),
            std::set<std::string>(labels.begin(), labels.end()));
  EXPECT_FALSE(std::filesystem::exists("shots/warning.png"));
  const std::vector<std::string> second = shoot(x.display(), show, {}, code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(second, std::vector<std::string>{"warning"});

  const cv::Rect game(layout.game_x, layout.game_y, practice::game_width, practice::game_height);
  for (const std::string& label : labels) {
    const cv::Mat shot = cv::imread("shots/" + label + ".png", cv::IMREAD_COLOR);
    ASSERT_EQ(shot.size(), cv::Size(1280, 800)) << label;
    cv::Mat expected;
    practice::render_game(*practice::shot_view(label), expected);
    EXPECT_EQ(cv::norm(shot(game), expected, cv::NORM_INF), 0) << label;
  }
  EXPECT_EQ(finish(show), 0);
}

}  // namespace
