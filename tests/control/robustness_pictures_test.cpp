// Wrong reference pictures in data/: every one of the eighteen start-up and
// four on-demand pictures missing, unreadable, too large, featureless, or in
// another PNG format. Whole runs on the practice game's in-process desktop in
// virtual time; a picture that cannot be loaded at start-up ends the run there,
// anything else gives misses and the run goes on.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/data_path.h"
#include "control/capture/shift_jis.h"
#include "control/main_loop.h"
#include "practice/data_pictures.h"
#include "practice/scenario.h"
#include "support/pitch_tally.h"
#include "support/practice_run.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
namespace fs = std::filesystem;

// What a run with one wrong picture comes to.
enum class outcome {
  refused,        // start-up message, one character read, -1; text.txt untouched
  refused_named,  // the same, plus one line on standard error naming the picture
  full,           // every pitch recorded for its pitcher, the run ends when the desktop goes
  nothing,        // the game is never found: no report, the run ends when the desktop goes
  inspection,     // the inning half cannot be read: inspection exit, 0
  runs,           // some pitches are missed or misread; the run still ends when the desktop goes
};

enum class defect { missing, empty_file, not_png, truncated, oversized, one_pixel, single_colour };

const char* defect_name(defect d) {
  switch (d) {
    case defect::missing:
      return "missing";
    case defect::empty_file:
      return "empty_file";
    case defect::not_png:
      return "not_png";
    case defect::truncated:
      return "truncated";
    case defect::oversized:
      return "oversized";
    case defect::one_pixel:
      return "one_pixel";
    case defect::single_colour:
      break;
  }
  return "single_colour";
}

// One row per picture, in the order of the practice game's data table: a size
// larger than a region it is matched in, and the run's outcome when the
// picture is too large, and when it never hits. The finish poses fit the
// region a pitch starts in (110 x 100) but not the one its end is watched in
// (120 x 90), where they would score nothing and count a pitch twice.
struct picture_row {
  const char* name;
  cv::Size oversize;
  outcome when_oversized;
  outcome when_missed;
};

constexpr int desktop_width = 800, desktop_height = 600;

const picture_row picture_rows[22] = {
    {"game_area", {desktop_width + 1, desktop_height + 1}, outcome::nothing, outcome::nothing},
    {"count_no_ball_no_strike", {101, 131}, outcome::refused_named, outcome::full},
    {"count_two_strikes", {101, 131}, outcome::refused_named, outcome::full},
    {"ball_count", {300, 300}, outcome::full, outcome::full},
    {"versus_ground", {41, 81}, outcome::refused_named, outcome::nothing},
    {"field_ground", {71, 61}, outcome::refused_named, outcome::full},
    {"time_out", {91, 61}, outcome::refused_named, outcome::full},
    {"scoreboard", {61, 51}, outcome::refused_named, outcome::full},
    {"title", {131, 101}, outcome::refused_named, outcome::full},
    {"warning", {131, 91}, outcome::refused_named, outcome::full},
    {"finish_pose_right", {110, 100}, outcome::refused_named, outcome::runs},
    {"finish_pose_left", {110, 100}, outcome::refused_named, outcome::runs},
    {"game_set", {111, 41}, outcome::refused_named, outcome::full},
    {"play_ball", {721, 481}, outcome::refused_named, outcome::full},
    {"opponent_time_out_wait", {131, 51}, outcome::refused_named, outcome::full},
    {"take_back_pose_right", {300, 300}, outcome::full, outcome::full},
    {"take_back_pose_left", {300, 300}, outcome::full, outcome::full},
    {"half_game_area",
     {desktop_width / 2 + 1, desktop_height / 2 + 1},
     outcome::nothing,
     outcome::nothing},
    {"top_sign", {81, 41}, outcome::inspection, outcome::inspection},
    {"bottom_sign", {81, 41}, outcome::inspection, outcome::inspection},
    {"right_hand_sign", {131, 51}, outcome::full, outcome::full},
    {"left_hand_sign", {131, 51}, outcome::runs, outcome::runs},
};
constexpr int startup_pictures = 18;

outcome expected(int picture, defect d) {
  const picture_row& row = picture_rows[picture];
  switch (d) {
    case defect::missing:
    case defect::empty_file:
    case defect::not_png:
    case defect::truncated:
      return picture < startup_pictures ? outcome::refused : row.when_missed;
    case defect::oversized:
      return row.when_oversized;
    case defect::one_pixel:
      // A game picture of one pixel leaves no room for the play-ball picture,
      // which is matched in the whole game picture.
      if (picture == static_cast<int>(template_id::game_area)) return outcome::refused_named;
      break;
    case defect::single_colour:
      break;
  }
  return row.when_missed;
}

// Three pitches: two by a right-hander in the top half, a screen pitchlog does
// not know, then one by a left-hander in the bottom half.
practice::scenario short_game() {
  return test_support::scenario_of(R"({
    "desktop": {"width": 800, "height": 600, "game_x": 40, "game_y": 60, "pattern": "checker"},
    "timeline": [
      {"screen": "play_ball", "ms": 300},
      {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top",
       "balls": 0, "strikes": 0, "set_ms": 400, "after_ms": 400},
      {"pitch": "curve", "balls": 0, "strikes": 1, "set_ms": 400, "after_ms": 400},
      {"screen": "cut_in", "ms": 600},
      {"screen": "field", "ms": 400},
      {"pitch": "fork", "pitcher": "KURODA", "hand": "left", "half": "bottom",
       "balls": 0, "strikes": 0, "set_ms": 400, "after_ms": 400},
      {"screen": "field", "ms": 400}
    ]})");
}

using test_support::count_of;
using test_support::read_file;
using test_support::record_tally;
using test_support::truth_tally;

// The practice game's pictures, written once for every case into a folder of
// their own (the working folder stays where it is).
class data_cache {
 public:
  static const fs::path& dir() {
    static data_cache cache;
    return cache.dir_;
  }
  ~data_cache() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

 private:
  data_cache()
      : dir_(fs::temp_directory_path() / ("pitchlog-pictures-" + std::to_string(getpid()))) {
    std::string error;
    EXPECT_TRUE(practice::write_data_pictures(dir_ / "data", error)) << error;
  }
  fs::path dir_;
};

fs::path picture_path(int picture) {
  return fs::path("data") / std::string(practice::data_picture_table[picture].file_name);
}

// Writes the defect over the picture in the working folder's data/.
void spoil(int picture, defect d) {
  const fs::path path = picture_path(picture);
  const cv::Mat good = cv::imread(path.string(), cv::IMREAD_COLOR);
  ASSERT_FALSE(good.empty());
  const std::string bytes = read_file(path);
  fs::remove(path);
  switch (d) {
    case defect::missing:
      return;
    case defect::empty_file:
      std::ofstream(path, std::ios::binary);
      return;
    case defect::not_png:
      std::ofstream(path, std::ios::binary) << "this is no picture\n";
      return;
    case defect::truncated:
      std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
      return;
    case defect::oversized: {
      cv::Mat big;
      cv::resize(good, big, picture_rows[picture].oversize);
      ASSERT_TRUE(cv::imwrite(path.string(), big));
      return;
    }
    case defect::one_pixel:
      ASSERT_TRUE(cv::imwrite(path.string(), good(cv::Rect(0, 0, 1, 1))));
      return;
    case defect::single_colour:
      ASSERT_TRUE(cv::imwrite(path.string(), cv::Mat(good.size(), CV_8UC3, good.at<cv::Vec3b>(0))));
      return;
  }
}

using picture_case = std::tuple<int, defect>;

class one_wrong_picture : public testing::TestWithParam<picture_case> {};

TEST_P(one_wrong_picture, ends_as_its_row_says) {
  const auto [picture, d] = GetParam();
  const outcome want = expected(picture, d);
  const practice::scenario game = short_game();
  test_support::practice_run r(game, data_cache::dir());
  spoil(picture, d);

  const std::ostringstream& console = r.console;
  std::ostringstream error;
  int reads = 0;
  r.p.error = &error;
  r.p.read_char = [&reads] { ++reads; };
  const int code = r.run();

  const std::string file_name(practice::data_picture_table[picture].file_name);
  if (want == outcome::refused || want == outcome::refused_named) {
    EXPECT_EQ(code, -1);
    EXPECT_EQ(console.str(), "ファイルが読み込めません。\n");
    EXPECT_EQ(reads, 1);
    EXPECT_FALSE(fs::exists(report_file_name));
    if (want == outcome::refused_named) {
      EXPECT_EQ(count_of(error.str(), "\n"), 1) << error.str();
      EXPECT_NE(error.str().find(file_name), std::string::npos) << error.str();
    } else {
      EXPECT_EQ(error.str(), "");
    }
    return;
  }

  EXPECT_EQ(code, want == outcome::inspection ? 0 : -1);
  EXPECT_EQ(reads, 0);
  // Whatever was printed is in text.txt, line for line.
  const std::string header = "[後攻チームの投手の配球記録]";
  const int printed = count_of(console.str(), header);
  EXPECT_EQ(count_of(read_file(report_file_name), to_shift_jis(header)), printed);
  EXPECT_EQ(to_shift_jis(console.str()), read_file(report_file_name));
  switch (want) {
    case outcome::full:
      EXPECT_EQ(record_tally(r.w->record), truth_tally(game));
      EXPECT_EQ(printed, 3);
      break;
    case outcome::nothing:
      EXPECT_EQ(printed, 0);
      break;
    case outcome::inspection:
      EXPECT_LT(printed, 3);
      break;
    default:
      break;
  }
}

std::string case_name(const testing::TestParamInfo<picture_case>& info) {
  return std::string(picture_rows[std::get<0>(info.param)].name) + "_" +
         defect_name(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(start_up_pictures, one_wrong_picture,
                         testing::Combine(testing::Range(0, startup_pictures),
                                          testing::Values(defect::missing, defect::empty_file,
                                                          defect::not_png, defect::truncated,
                                                          defect::oversized, defect::one_pixel,
                                                          defect::single_colour)),
                         case_name);

INSTANTIATE_TEST_SUITE_P(on_demand_pictures, one_wrong_picture,
                         testing::Combine(testing::Range(startup_pictures, 22),
                                          testing::Values(defect::missing, defect::empty_file,
                                                          defect::not_png, defect::truncated,
                                                          defect::oversized, defect::one_pixel,
                                                          defect::single_colour)),
                         case_name);

// A template of one colour has nothing to correlate: a miss wherever it is
// matched, never the matcher's perfect 1.
TEST(single_colour_template, is_a_miss_on_any_frame) {
  cv::Mat noise(60, 80, CV_8UC3);
  cv::randu(noise, 0, 256);
  const cv::Mat flat(60, 80, CV_8UC3, cv::Scalar(10, 20, 30));
  const struct {
    const char* name;
    const cv::Mat& frame;
    cv::Mat templ;
  } cases[] = {
      {"one_pixel_on_noise", noise, cv::Mat(1, 1, CV_8UC3, cv::Scalar(1, 2, 3))},
      {"flat_on_noise", noise, cv::Mat(20, 30, CV_8UC3, cv::Scalar(9, 9, 9))},
      {"same_flat_colour", flat, cv::Mat(20, 30, CV_8UC3, cv::Scalar(10, 20, 30))},
      {"whole_frame_flat", flat, flat.clone()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const match_result m = match_template(c.frame, cv::Rect(0, 0, 80, 60), c.templ);
    EXPECT_TRUE(std::isnan(m.best_score)) << c.name << ": " << m.best_score;
  }
  // One differing sample is enough to be a picture.
  cv::Mat almost(20, 30, CV_8UC3, cv::Scalar(9, 9, 9));
  almost.at<cv::Vec3b>(19, 29)[2] = 10;
  EXPECT_FALSE(std::isnan(match_template(noise, cv::Rect(0, 0, 80, 60), almost).best_score));
}

}  // namespace
