// Recorded practice games replayed by build/pitchlog-replay as the user runs
// them: text.txt against the practice game's expected reports for the truth
// log, pitches.csv against the truth row by row, and the bad inputs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "practice/expected_report.h"
#include "record/pitch_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct process_result {
  int status = -1;
  std::string out, err;
};

// Runs `command` (a program in the build folder and its arguments) in `dir`.
process_result run(const fs::path& dir, const std::string& command) {
  const std::string line = "cd '" + dir.string() + "' && '" + PITCHLOG_BINARY_DIR + "/" + command +
                           " </dev/null >stdout.txt 2>stderr.txt";
  const int wait_status = std::system(line.c_str());
  process_result r;
  if (WIFEXITED(wait_status)) r.status = WEXITSTATUS(wait_status);
  r.out = test_support::read_file(dir / "stdout.txt");
  r.err = test_support::read_file(dir / "stderr.txt");
  return r;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  return fields;
}

// "H:MM:SS.mmm" in milliseconds.
int64_t video_ms(const std::string& text) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

std::vector<practice::truth_pitch> truth_in(const fs::path& file) {
  std::vector<practice::truth_pitch> truth;
  for (const std::string& line : lines_of(test_support::read_file(file))) {
    std::string error;
    const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error);
    EXPECT_TRUE(p) << error;
    if (p) truth.push_back(*p);
  }
  return truth;
}

struct recording {
  const char* name;
  const char* file;
  const char* arguments;  // of practice-game record beyond seed, innings, truth, out
  // The least share of the pitches thrown that must be recorded and named as
  // thrown; 1 (a lossless video): every one, and text.txt the expected reports.
  // The H.264 recordings give every pitch too, but a lossy encoder of another
  // version may blur a ball away: at most a fifth may be lost.
  double least_as_thrown;
  // So lossy that the replay names pitches it cannot read (exit 4): every
  // pitch is then recorded as thrown or named, none twice.
  bool names_unread = false;
};
void PrintTo(const recording& r, std::ostream* os) {
  *os << r.name;
}

class replay_of : public testing::TestWithParam<recording> {};

// Seed 5, one inning: 17 pitches in 85 s, both teams, a pitcher change.
TEST_P(replay_of, reports_every_pitch_as_thrown) {
  const recording& rec = GetParam();
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), dir.path() / "data");
  const process_result made = run(
      dir.path(), std::string("practice-game' record --seed 5 --innings 1 --truth truth.jsonl ") +
                      "--out " + rec.file + " " + rec.arguments);
  ASSERT_EQ(made.status, 0) << made.err;

  const process_result replay = run(dir.path(), std::string("pitchlog-replay' ") + rec.file);
  // The video times of the pitches named unread.
  std::vector<int64_t> named;
  for (const std::string& line : lines_of(replay.err)) {
    const std::size_t at = line.find(" of the pitch at ");
    if (at != std::string::npos) named.push_back(video_ms(line.substr(at + 17, 11)));
  }
  EXPECT_EQ(replay.status, named.empty() ? 0 : 4) << replay.err;
  if (!rec.names_unread) {
    EXPECT_TRUE(named.empty()) << replay.err;
  }
  const process_result check =
      run(dir.path(), "practice-game' expect --truth truth.jsonl --report text.txt");
  std::printf("[ replay   ] %s: %s", rec.name, check.out.c_str());
  const std::vector<practice::truth_pitch> truth = truth_in(dir.path() / "truth.jsonl");
  const practice::report_check c =
      practice::check_reports(truth, test_support::read_file(dir.path() / "text.txt"));
  const int least = static_cast<int>(std::ceil(rec.least_as_thrown * c.thrown));
  EXPECT_GT(c.thrown, 0);
  EXPECT_LE(c.recorded, c.thrown) << "a pitch recorded twice";
  EXPECT_GE(c.as_thrown, least) << c.first_difference;
  if (rec.least_as_thrown == 1.0) {
    EXPECT_TRUE(c.identical) << c.first_difference;
  }

  // One header, then a row for each report, in the order of the pitches, each
  // the pitch whose finish pose appeared within the second before it was
  // caught.
  const std::vector<std::string> rows =
      lines_of(test_support::read_file(dir.path() / "pitches.csv"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], pitchlog::pitch_log_header);
  const std::vector<std::string> header = fields_of(rows[0]);
  std::map<std::string, std::size_t> column;
  for (const char* name :
       {"run", "time", "game", "half", "pitcher", "hand", "first_pitch", "two_strikes", "type"}) {
    const auto at = std::find(header.begin(), header.end(), name);
    ASSERT_NE(at, header.end()) << "no column " << name << " in " << rows[0];
    column[name] = static_cast<std::size_t>(at - header.begin());
  }
  ASSERT_EQ(static_cast<int>(rows.size()) - 1, c.recorded);
  // How often each pitch thrown was recorded or named.
  std::vector<int> told(truth.size());
  for (const int64_t t : named) {
    const auto p = std::find_if(truth.begin(), truth.end(), [t](const practice::truth_pitch& p) {
      return p.time_ms <= t && t < p.time_ms + 1000;
    });
    EXPECT_NE(p, truth.end()) << "a pitch named unread at " << t << " ms, when none was thrown";
    if (p != truth.end()) ++told[static_cast<std::size_t>(p - truth.begin())];
  }
  std::size_t next = 0;  // the first truth pitch the next row may be
  int rows_as_thrown = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i]);
    const std::vector<std::string> f = fields_of(rows[i]);
    ASSERT_EQ(f.size(), header.size());
    const int64_t caught = video_ms(f[column["time"]]);
    while (next < truth.size() && truth[next].time_ms + 1000 <= caught) ++next;
    ASSERT_TRUE(next < truth.size() && truth[next].time_ms <= caught) << "no pitch was thrown then";
    ++told[next];
    const practice::truth_pitch& p = truth[next++];
    EXPECT_EQ(f[column["run"]], fields_of(rows[1])[column["run"]]);  // one run
    EXPECT_EQ(f[column["game"]], "1");
    EXPECT_EQ(f[column["half"]], p.inning_half == practice::half::top ? "top" : "bottom");
    EXPECT_EQ(f[column["pitcher"]], std::to_string(p.pitcher_slot + 1));
    EXPECT_EQ(f[column["hand"]], p.pitcher_hand == practice::hand::left ? "left" : "right");
    // The count panel's reading: the situations the pitch is filed under.
    EXPECT_EQ(f[column["first_pitch"]], p.balls == 0 && p.strikes == 0 ? "1" : "0");
    EXPECT_EQ(f[column["two_strikes"]], p.strikes == 2 ? "1" : "0");
    rows_as_thrown += f[column["type"]] == practice::type_name(p.type);
  }
  EXPECT_GE(rows_as_thrown, least);
  if (rec.names_unread) {
    EXPECT_EQ(rows_as_thrown, c.recorded) << "a pitch read wrong";
    EXPECT_EQ(std::count(told.begin(), told.end(), 1), static_cast<long>(truth.size()))
        << "a pitch neither recorded nor named, or told twice";
  }
}

INSTANTIATE_TEST_SUITE_P(
    recordings, replay_of,
    testing::Values(
        recording{"FFV1 720x480, the game alone", "game.mkv", "--codec ffv1", 1.0},
        recording{"H.264 720x480, the game alone", "game.mp4", "--codec h264", 0.8},
        recording{"H.264 1920x1080 desktop, the game at (601, 299)", "desk.mp4",
                  "--codec h264 --size 1920x1080 --x 601 --y 299", 0.8},
        // The inning and hand signs fall below their thresholds
        // here: read by the replay's close calls.
        recording{"H.264 CRF 28 720x480", "lossy.mp4", "--codec h264 --crf 28", 1.0},
        recording{"H.264 CRF 18 at 0.67x", "small.mp4", "--codec h264 --crf 18 --scale 0.67", 1.0},
        recording{"H.264 CRF 18 at 1.5x", "large.mp4", "--codec h264 --crf 18 --scale 1.5", 1.0},
        // The ball fades first: most pitches are named, the rest read right.
        recording{"H.264 CRF 33 720x480", "lossier.mp4", "--codec h264 --crf 33", 0.0, true}),
    [](const auto& info) { return "case_" + std::to_string(info.index); });

enum class input { missing, not_a_video, cut_short };

struct bad_input {
  const char* name;
  input kind;
  int status;
  const char* last_line;  // what the last line of standard error starts with
};
void PrintTo(const bad_input& b, std::ostream* os) {
  *os << b.name;
}

class replay_bad_input : public testing::TestWithParam<bad_input> {};

TEST_P(replay_bad_input, says_why_in_one_line_and_loses_nothing) {
  const bad_input& b = GetParam();
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), dir.path() / "data");
  constexpr const char* earlier = "an earlier run's\n";
  std::ofstream(dir.path() / "text.txt") << earlier;
  const std::string earlier_log = std::string(pitchlog::pitch_log_header) + "\n";
  std::ofstream(dir.path() / "pitches.csv") << earlier_log;
  if (b.kind == input::not_a_video) std::ofstream(dir.path() / "game.avi") << "no video here\n";
  if (b.kind == input::cut_short) {
    ASSERT_EQ(run(dir.path(),
                  "practice-game' record --seed 5 --innings 1 --codec mjpg --out "
                  "whole.avi --truth truth.jsonl")
                  .status,
              0);
    const std::string whole = test_support::read_file(dir.path() / "whole.avi");
    std::ofstream(dir.path() / "game.avi", std::ios::binary) << whole.substr(0, whole.size() / 2);
  }

  const process_result r = run(dir.path(), "pitchlog-replay' game.avi");
  EXPECT_EQ(r.status, b.status);
  const std::vector<std::string> err = lines_of(r.err);
  ASSERT_FALSE(err.empty());
  for (const std::string& line : err) EXPECT_TRUE(line.starts_with("pitchlog-replay: ")) << line;
  EXPECT_TRUE(err.back().starts_with(b.last_line)) << err.back();
  const std::string text = test_support::read_file(dir.path() / "text.txt");
  const std::string log = test_support::read_file(dir.path() / "pitches.csv");
  if (b.kind != input::cut_short) {
    EXPECT_EQ(err.size(), 1u);
    EXPECT_EQ(text, earlier);
    EXPECT_EQ(log, earlier_log);
    return;
  }
  // The reports up to the break are kept whole, each with its row.
  const std::optional<std::string> header = practice::to_cp932("[後攻チームの投手の配球記録]");
  ASSERT_TRUE(header);
  const int reports = test_support::count_of(text, *header);
  EXPECT_GT(reports, 3);
  EXPECT_TRUE(text.ends_with("\n\n\n\n"));
  EXPECT_EQ(static_cast<int>(lines_of(log).size()), 1 + reports);  // after the header
}

INSTANTIATE_TEST_SUITE_P(inputs, replay_bad_input,
                         testing::Values(bad_input{"missing file", input::missing, 2,
                                                   "pitchlog-replay: no such file"},
                                         bad_input{"not a video", input::not_a_video, 2,
                                                   "pitchlog-replay: game.avi is not a video"},
                                         bad_input{"a video cut off half way", input::cut_short, 3,
                                                   "pitchlog-replay: game.avi breaks off at"}),
                         [](const auto& info) { return "case_" + std::to_string(info.index); });

}  // namespace
