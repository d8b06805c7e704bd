// Working files that cannot be written or read, before the run or in the
// middle of it: the run never works on a missing or stale picture, ends only
// through its exits, and keeps every report line it printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <opencv2/imgcodecs.hpp>

#include "control/capture/shift_jis.h"
#include "control/main_loop.h"
#include "practice/scenario.h"
#include "support/practice_run.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
namespace fs = std::filesystem;
using test_support::count_of;
using test_support::read_file;

const std::string report_header = "[後攻チームの投手の配球記録]";

// Three pitches in the top half: two by AKAGI, then a change to MIDORI.
practice::scenario pitcher_change() {
  return test_support::scenario_of(R"({
    "desktop": {"width": 800, "height": 600, "game_x": 40, "game_y": 60, "pattern": "gradient"},
    "timeline": [
      {"screen": "play_ball", "ms": 300},
      {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top",
       "balls": 0, "strikes": 0, "set_ms": 400, "after_ms": 400},
      {"pitch": "curve", "balls": 0, "strikes": 1, "set_ms": 400, "after_ms": 400},
      {"screen": "time_out", "ms": 400},
      {"pitch": "fork", "pitcher": "MIDORI", "hand": "left", "balls": 0, "strikes": 0,
       "set_ms": 400, "after_ms": 400},
      {"screen": "field", "ms": 400}
    ]})");
}

// Pitches per slot of the team batting second (the top half's pitchers).
using slots = std::map<int, int>;

slots pitches_by_slot(const pitch_record& record) {
  slots s;
  const team_record& t = record.teams[static_cast<int>(team::batting_second)];
  for (int slot = 0; slot < pitchers_per_team; ++slot)
    if (t.pitchers[slot].pitch_count > 0) s[slot] = t.pitchers[slot].pitch_count;
  return s;
}

void folder_in_the_way(const char* name) {
  fs::remove(name);
  fs::create_directory(name);
}

void full_disk(const char* name) {
  fs::remove(name);
  fs::create_symlink("/dev/full", name);
}

void garbage(const char* name) {
  fs::remove(name);
  std::ofstream(name, std::ios::binary) << "\x89PNG\r\n\x1a\n and nothing after";
}

void wrong_size_picture(const char* name) {
  cv::Mat big(60, 200, CV_8UC3);
  cv::randu(big, 0, 256);
  fs::remove(name);
  ASSERT_TRUE(cv::imwrite(name, big));
}

enum class moment { before_start, after_first_report };

struct file_case {
  const char* name;
  const char* file;
  std::function<void(const char*)> spoil;
  moment when;
  int exit_code;
  int reports;
  slots by_slot;  // AKAGI in slot 0; MIDORI in slot 1 when the change is seen
};
void PrintTo(const file_case& c, std::ostream* os) {
  *os << c.name;
}

const slots change_seen = {{0, 2}, {1, 1}};

class working_file : public testing::TestWithParam<file_case> {};

TEST_P(working_file, never_crashes_and_keeps_what_was_reported) {
  const file_case& c = GetParam();
  test_support::practice_run r(pitcher_change());
  const std::ostringstream& console = r.console;

  if (c.when == moment::before_start) c.spoil(c.file);
  bool spoilt = c.when == moment::before_start;
  const auto grab = r.p.source.grab;
  r.p.source.grab = [&](screen_grab& g) {
    if (!spoilt && count_of(console.str(), report_header) >= 1) {
      c.spoil(c.file);
      spoilt = true;
    }
    return grab(g);
  };

  EXPECT_EQ(r.run(), c.exit_code);
  EXPECT_TRUE(spoilt);
  EXPECT_EQ(count_of(console.str(), report_header), c.reports);
  if (c.exit_code == 1) {
    EXPECT_EQ(console.str(), "");
    return;
  }
  EXPECT_EQ(read_file(report_file_name), to_shift_jis(console.str()));
  EXPECT_EQ(pitches_by_slot(r.w->record), c.by_slot);
}

INSTANTIATE_TEST_SUITE_P(
    in_the_way, working_file,
    testing::Values(
        // A capture that cannot be written is grabbed again until it can be;
        // a folder in the way never lets that happen, and the run watches
        // nothing until the desktop goes.
        file_case{"capture_is_a_folder",
                  "capture.bmp",
                  folder_in_the_way,
                  moment::before_start,
                  -1,
                  0,
                  {}},
        // The failed write removes the link to the full disk: the next grab is
        // written, and every pitch recorded.
        file_case{"capture_on_a_full_disk", "capture.bmp", full_disk, moment::before_start, -1, 3,
                  change_seen},
        file_case{"capture_becomes_a_folder",
                  "capture.bmp",
                  folder_in_the_way,
                  moment::after_first_report,
                  -1,
                  1,
                  {{0, 1}}},
        // No half-size copy, no search: the game is never found.
        file_case{"half_size_copy_is_a_folder",
                  "resize-capture.bmp",
                  folder_in_the_way,
                  moment::before_start,
                  -1,
                  0,
                  {}},
        file_case{"half_size_copy_becomes_a_folder", "resize-capture.bmp", folder_in_the_way,
                  moment::after_first_report, -1, 3, change_seen},
        // A name crop that cannot be kept cannot tell a change: one pitcher.
        file_case{"name_crop_is_a_folder",
                  "pitcher_name_field.png",
                  folder_in_the_way,
                  moment::before_start,
                  -1,
                  3,
                  {{0, 3}}},
        // A crop that cannot be read or matched is saved anew at the next
        // pitch, so the change after it is still seen.
        file_case{"name_crop_turns_to_garbage", "pitcher_name_field.png", garbage,
                  moment::after_first_report, -1, 3, change_seen},
        file_case{"name_crop_of_another_size", "pitcher_name_field.png", wrong_size_picture,
                  moment::after_first_report, -1, 3, change_seen},
        file_case{
            "report_is_a_folder", "text.txt", folder_in_the_way, moment::before_start, 1, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
