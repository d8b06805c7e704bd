// pitchlog-pictures on the practice game's shots: cut with the practice
// game's own cut rectangles gives its data/ byte for byte and check passes;
// spoiled pictures fail check by name; bad input ends in one line and leaves
// data/ as it was.
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "pictures/pictures_run.h"
#include "practice/data_pictures.h"
#include "practice/shots.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;

using result = test_support::pictures_result;

result run(const std::vector<std::string>& args) {
  return test_support::run_pictures(args);
}

// The practice game's shots (with its cuts file) in shots/ and its own
// pictures in data/ of a fresh working folder.
struct practice_folders {
  test_support::scoped_work_dir dir;
  practice_folders() {
    std::string error;
    EXPECT_TRUE(practice::write_shots("shots", practice::shot_layout(), error)) << error;
    EXPECT_TRUE(practice::write_data_pictures("data", error)) << error;
  }
};

TEST(pictures, practice_cuts_give_the_practice_data_and_pass_the_check) {
  practice_folders f;
  const result cut = run({"cut", "shots", "--out", "cut"});
  ASSERT_EQ(cut.code, 0) << cut.err;
  for (const practice::data_picture& p : practice::data_picture_table) {
    const std::string name(p.file_name);
    const std::string bytes = read_file(fs::path("cut") / name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_TRUE(bytes == read_file(fs::path("data") / name)) << name << " differs";
  }
  const result check = run({"check", "cut", "shots"});
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("pass: "), std::string::npos) << check.out;
}

// The game picture of a practice shot.
cv::Mat game_of(const fs::path& shot) {
  const practice::desktop_layout l = practice::shot_layout();
  return cv::imread(shot.string())(cv::Rect(l.game_x, l.game_y, 720, 480)).clone();
}

struct spoiled {
  const char* what;
  // Spoils a copy of data/ (first) or of the shots (second).
  std::function<void(const fs::path& data, const fs::path& shots)> spoil;
  // What the line that reports it holds, in this order, the first at its
  // start: the picture, the shot and the verdict of a table row.
  std::array<const char*, 3> line;
};

const spoiled spoiled_cases[] = {
    // Cut below the ball lamps (rows 6 to 15 of the panel): strikes and outs
    // only, which one ball does not change.
    {"a count picture that also hits at one ball",
     [](const fs::path& data, const fs::path& shots) {
       cv::imwrite((data / "０ボール０ストライク.png").string(),
                   game_of(shots / "versus.png")(cv::Rect(2, 19, 56, 38)));
     },
     {"０ボール０ストライク.png", "versus_other_count", "UNINTENDED HIT"}},
    {"a flat picture",
     [](const fs::path& data, const fs::path&) {
       cv::imwrite((data / "タイム画面・一部.png").string(),
                   cv::Mat(40, 60, CV_8UC3, cv::Scalar(20, 120, 200)));
     },
     {"タイム画面・一部.png", "time_out", "CANNOT BE MATCHED"}},
    // 110 x 100 fits the trigger's region but not the end wait's 120 x 90.
    {"a picture larger than one of its regions",
     [](const fs::path& data, const fs::path& shots) {
       cv::imwrite((data / "投球フィニッシュポーズ（右投手）・一部.png").string(),
                   game_of(shots / "finish_right.png")(cv::Rect(290, 150, 110, 100)));
     },
     {"投球フィニッシュポーズ（右投手）・一部.png", "finish_right",
      "CANNOT BE MATCHED: 110 x 100"}},
    // pitchlog does not start without it, though it never matches it.
    {"a missing picture",
     [](const fs::path& data, const fs::path&) { fs::remove(data / "ボールカウント.png"); },
     {"CANNOT BE READ: ", "ボールカウント.png", " is missing"}},
    {"a shot without the game on it",
     [](const fs::path&, const fs::path& shots) {
       cv::imwrite((shots / "field.png").string(),
                   practice::desktop_picture(practice::shot_layout(), std::nullopt));
     },
     {"グラウンド（フィールド）画面・一部.png", "field", "MISSES"}},
};

// The spoils touch different pictures and shots, so one check finds them all,
// each on its own line.
TEST(pictures, a_spoiled_picture_fails_the_check_by_name_and_shot) {
  practice_folders f;
  for (const spoiled& s : spoiled_cases) s.spoil("data", "shots");
  const result check = run({"check", "data", "shots"});
  EXPECT_EQ(check.code, 1) << check.out;
  for (const spoiled& s : spoiled_cases) {
    SCOPED_TRACE(s.what);
    bool named = false;
    std::istringstream lines(check.out);
    for (std::string line; std::getline(lines, line);) {
      // Where the next piece may start; npos once one is not found.
      std::size_t from = line.starts_with(s.line[0]) ? 0 : std::string::npos;
      for (const std::string_view piece : s.line) {
        const std::size_t at = from == std::string::npos ? from : line.find(piece, from);
        from = at == std::string::npos ? at : at + piece.size();
      }
      named = named || from != std::string::npos;
    }
    EXPECT_TRUE(named) << "no line holds " << s.line[0] << ", " << s.line[1] << ", " << s.line[2]
                       << ":\n"
                       << check.out;
  }
}

struct bad_input {
  const char* what;
  std::function<void()> spoil;  // in a working folder holding shots/ and data/
  std::vector<std::string> args;
  const char* message;
};

const bad_input bad_inputs[] = {
    {"a missing shot",
     [] { fs::remove("shots/scoreboard.png"); },
     {"cut", "shots", "--out", "data"},
     "missing in shots: scoreboard.png"},
    {"an unreadable PNG",
     [] {
       const std::string bytes = read_file("shots/versus.png");
       std::ofstream("shots/versus.png") << bytes.substr(0, 900);
     },
     {"cut", "shots", "--out", "data"},
     "shots/versus.png is cut short"},
    {"a game rectangle off the shot",
     [] {},
     {"cut", "shots", "--out", "data", "--game", "600,400,720,480"},
     "the game picture 600,400,720,480 reaches past the versus shot (1280 x 800)"},
    {"an unknown label",
     [] { fs::copy("shots/title.png", "shots/titel.png"); },
     {"cut", "shots", "--out", "data"},
     "\"titel\" is no label"},
    {"a cut larger than its region",
     [] {
       std::ofstream("cuts.json") << R"({"cuts": [{"picture": "２ストライク.png",
                                                   "cut": [0, 0, 101, 131]}]})";
     },
     {"cut", "shots", "--out", "data", "--cuts", "cuts.json", "--game", "417,233,720,480"},
     "２ストライク.png: the cut 0,0,101,131 is larger than its region 0,0,100,130"},
    {"a cuts file that is no JSON",
     [] { std::ofstream("cuts.json") << "{\"game\": [1, 2"; },
     {"cut", "shots", "--out", "data", "--cuts", "cuts.json"},
     "cuts.json is not JSON"},
    {"check without a shot",
     [] { fs::remove("shots/hand_left.png"); },
     {"check", "data", "shots"},
     "missing in shots: hand_left.png"},
};

TEST(pictures, bad_input_gets_one_line_and_leaves_data_as_it_was) {
  test_support::scoped_work_dir dir;
  std::string error;
  ASSERT_TRUE(practice::write_shots("good-shots", practice::shot_layout(), error)) << error;
  for (const bad_input& b : bad_inputs) {
    SCOPED_TRACE(b.what);
    for (const char* old : {"shots", "data", "cuts.json"}) fs::remove_all(old);
    fs::copy("good-shots", "shots");
    fs::create_directory("data");
    std::ofstream("data/kept") << "as it was";
    b.spoil();
    const result r = run(b.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(test_support::count_of(r.err, "\n"), 1) << r.err;
    EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator("data")) left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{"data/kept"});
    for (const auto& entry : fs::directory_iterator(".")) {
      EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    }
  }
}

}  // namespace
