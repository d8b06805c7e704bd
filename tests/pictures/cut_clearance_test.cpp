// pitchlog-pictures check on cuts over what changes on the versus view: each
// fails by picture and part with a clear cut, although every check of the
// picture hits as intended on the shots; cut --pick takes the clear cut when
// c is pressed, and check then passes.
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pictures/cuts.h"
#include "pictures/pictures_run.h"
#include "pictures/shot_labels.h"
#include "practice/shots.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Every drag cancelled: c pressed on every cut.
test_support::pictures_result run(const std::vector<std::string>& args) {
  return test_support::run_pictures(
      args, [](const std::string&, const cv::Mat&) { return std::optional<cv::Rect>(); });
}

// A layout of the practice game's own shots where the hand sign is drawn over
// the name region: the same dark plate for both hands, the name at its top
// and the hand's letter under it. The right-hander and the left-hander are
// two pitchers with their own names.
void hand_sign_over_name(const fs::path& shots) {
  const practice::desktop_layout l = practice::shot_layout();
  for (const pitchlog::shot_label& label : pitchlog::shot_labels) {
    if (!pitchlog::is_versus(label)) continue;
    const fs::path file = shots / (std::string(label.name) + ".png");
    cv::Mat shot = cv::imread(file.string());
    cv::Mat game = shot(cv::Rect(l.game_x, l.game_y, practice::game_width, practice::game_height));
    const bool left = label.pitcher == pitchlog::side_shown::left;
    cv::rectangle(game, cv::Rect(550, 16, 130, 54), cv::Scalar(50, 50, 50), cv::FILLED);
    cv::putText(game, left ? "MORIMOTO" : "KATO", {558, 31}, cv::FONT_HERSHEY_SIMPLEX, 0.45,
                cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
    cv::putText(game, left ? "L" : "R", {600, 64}, cv::FONT_HERSHEY_SIMPLEX, 1.0,
                cv::Scalar(80, 220, 255), 2, cv::LINE_AA);
    cv::imwrite(file.string(), shot);
  }
}

struct covering_cut {
  const char* what;
  std::function<void(const fs::path& shots)> layout;  // redraws the practice shots
  const char* picture;
  cv::Rect cut;  // over the part
  const char* part;
};

const covering_cut covering_cuts[] = {
    // The practice game draws its inning sign from column 62 on.
    {"a count cut reaching into the inning sign",
     [](const fs::path&) {},
     "０ボール０ストライク.png",
     {15, 3, 52, 35},
     "the inning sign"},
    {"a hand sign cut taking in the name drawn over it",
     hand_sign_over_name,
     "右投手.png",
     {553, 20, 124, 48},
     "the pitcher's name"},
};

// The practice cuts file, with `picture` cut at `cut`.
void write_cuts(const fs::path& file, const std::string& picture, const cv::Rect& cut) {
  pitchlog::cut_plan plan;
  std::string error;
  ASSERT_TRUE(pitchlog::read_cuts_file("shots/cuts.json", plan, error)) << error;
  for (int i = 0; i < pitchlog::data_picture_count; ++i) {
    if (pitchlog::template_file_names[i] == picture) plan.cuts[i] = cut;
  }
  std::ofstream(file) << pitchlog::cuts_json(plan);
}

std::optional<cv::Rect> cut_of(const fs::path& file, const std::string& picture) {
  pitchlog::cut_plan plan;
  std::string error;
  if (!pitchlog::read_cuts_file(file, plan, error)) return std::nullopt;
  for (int i = 0; i < pitchlog::data_picture_count; ++i) {
    if (pitchlog::template_file_names[i] == picture) return plan.cuts[i];
  }
  return std::nullopt;
}

TEST(pictures, a_cut_over_what_changes_fails_by_name_and_pick_takes_the_clear_cut) {
  for (const covering_cut& c : covering_cuts) {
    SCOPED_TRACE(c.what);
    test_support::scoped_work_dir dir;
    std::string error;
    ASSERT_TRUE(practice::write_shots("shots", practice::shot_layout(), error)) << error;
    c.layout("shots");
    write_cuts("cuts.json", c.picture, c.cut);
    const auto cut = run({"cut", "shots", "--out", "data", "--cuts", "cuts.json"});
    ASSERT_EQ(cut.code, 0) << cut.err;

    const auto check = run({"check", "data", "shots"});
    EXPECT_EQ(check.code, 1) << check.out;
    // Every check comes out as intended: only this cut's clearance fails.
    EXPECT_NE(check.out.find(" 0 missed, 0 unintended hits, 0 cannot be matched, 0 locks "
                             "elsewhere, 0 cannot be read, 1 cuts over changes;"),
              std::string::npos)
        << check.out;
    const std::string head = "CUT OVER CHANGES: " + std::string(c.picture) + ": the cut " +
                             pitchlog::rectangle_text(c.cut) + " covers " + c.part + " (";
    const size_t line = check.out.find(head);
    ASSERT_NE(line, std::string::npos) << check.out;
    const std::string said = check.out.substr(line, check.out.find('\n', line) - line);
    const std::string lead = "which passes its checks: ";
    const size_t at = said.find(lead);
    ASSERT_NE(at, std::string::npos) << said;
    const std::optional<cv::Rect> clear = pitchlog::parse_rectangle(
        said.substr(at + lead.size(), said.find(' ', at + lead.size()) - at - lead.size()));
    ASSERT_TRUE(clear) << said;
    EXPECT_EQ(*clear & c.cut, *clear) << said;

    const auto pick = run({"cut", "shots", "--out", "data", "--cuts", "cuts.json", "--pick"});
    ASSERT_EQ(pick.code, 0) << pick.err;
    EXPECT_EQ(cut_of("cuts.json", c.picture), clear);
    const auto again = run({"check", "data", "shots"});
    EXPECT_EQ(again.code, 0) << again.out;
  }
}

}  // namespace
