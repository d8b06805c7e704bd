// build/pitchlog-report as the user runs it: on the log of a replayed
// practice game its numbers are the practice game's expected reports, and
// its page of a long game renders in headless Chromium.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "practice/expected_report.h"
#include "record/record_report.h"
#include "report_page/made_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs a program of the build folder in the working folder; its exit status, -1 if killed.
int run(std::vector<std::string> argv, std::chrono::milliseconds limit = 300s) {
  argv[0] = std::string(PITCHLOG_BINARY_DIR) + "/" + argv[0];
  const std::optional<int> status =
      practice::run_process({.argv = argv, .output = "stdout.txt", .errors = "stderr.txt"}, limit);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

std::vector<std::string> cells_of(const std::string& row) {
  std::vector<std::string> cells;
  for (std::size_t at = row.find("<td"); at != std::string::npos; at = row.find("<td", at)) {
    at = row.find('>', at) + 1;
    cells.push_back(row.substr(at, row.find("</td>", at) - at));
  }
  return cells;
}

// The text report of the page's table: the rows of each team's current
// pitcher, written back as the text report writes them.
std::string report_of_table(const std::string& page) {
  std::string blocks[2];
  const std::string open = "<tr data-team=\"";
  for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
    const std::string row = page.substr(at, page.find("</tr>", at) - at);
    if (row.find("data-current=\"1\"") == std::string::npos) continue;
    const int t = row[open.size()] - '0';
    const int slot = std::stoi(row.substr(row.find("data-pitcher=\"") + 14)) - 1;
    const std::vector<std::string> cells = cells_of(row);
    if (blocks[t].empty()) (blocks[t] += pitchlog::report_pitcher_headers[slot]) += "\n";
    blocks[t] += "[" + cells.at(0) + "]\n";
    for (int type = 0; type < pitchlog::pitch_type_count; ++type)
      ((blocks[t] += type ? "," : "") += pitchlog::report_type_names[type]) +=
          "：" + cells.at(2 + type);
    blocks[t] += "\n";
  }
  std::string report;
  for (const pitchlog::team t : pitchlog::report_team_order) {
    const int i = static_cast<int>(t);
    (report += pitchlog::report_team_headers[i]) += "\n";
    if (!blocks[i].empty()) report += blocks[i] + "\n";
  }
  return report + "\n\n\n\n";
}

TEST(report_page_runs, numbers_of_a_replayed_practice_game_are_its_expected_reports) {
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), "data");
  ASSERT_EQ(run({"practice-game", "record", "--seed", "5", "--innings", "1", "--truth",
                 "truth.jsonl", "--out", "game.mkv"}),
            0);
  ASSERT_EQ(run({"pitchlog-replay", "game.mkv"}), 0) << test_support::read_file("stderr.txt");
  ASSERT_EQ(run({"pitchlog-report", "--out", "report.html"}), 0)
      << test_support::read_file("stderr.txt");

  std::vector<practice::truth_pitch> truth;
  std::istringstream lines(test_support::read_file("truth.jsonl"));
  for (std::string line, error; std::getline(lines, line);)
    if (const auto p = practice::parse_truth_line(line, error)) truth.push_back(*p);
  ASSERT_FALSE(truth.empty());
  EXPECT_EQ(report_of_table(test_support::read_file("report.html")),
            practice::expected_reports(truth).back());
}

// The page of a 300-pitch game (its time and size printed), shot by headless
// Chromium at the window's size, shows each type's colour.
TEST(report_page_runs, page_of_a_long_game_renders_in_headless_chromium) {
  test_support::scoped_work_dir dir;
  std::ofstream("pitches.csv", std::ios::binary) << report_test::made_log(300);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(run({"pitchlog-report"}), 0) << test_support::read_file("stderr.txt");
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ page     ] 300 pitches: written in %.0f ms, %ju bytes\n", ms,
              static_cast<std::uintmax_t>(fs::file_size("report.html")));

  const std::optional<int> shot = practice::run_process(
      {.argv = {"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--user-data-dir=" + (dir.path() / "profile").string(),
                "--screenshot=" + (dir.path() / "shot.png").string(), "--window-size=1100,1500",
                "file://" + (dir.path() / "report.html").string()},
       .output = "chromium.txt"},
      180s);
  ASSERT_TRUE(shot && WIFEXITED(*shot) && WEXITSTATUS(*shot) == 0)
      << "headless chromium (Debian's package `chromium`) failed or is missing:\n"
      << test_support::read_file("chromium.txt");
  const cv::Mat picture = cv::imread("shot.png", cv::IMREAD_COLOR);
  ASSERT_EQ(picture.cols, 1100);
  ASSERT_EQ(picture.rows, 1500);
  const cv::Vec3b colours[] = {{0xB2, 0x72, 0x00},
                               {0x00, 0x9F, 0xE6},
                               {0x73, 0x9E, 0x00},
                               {0xA7, 0x79, 0xCC}};  // BGR of the four types
  for (const cv::Vec3b& colour : colours) {
    SCOPED_TRACE(testing::PrintToString(colour));
    int n = 0;
    for (auto it = picture.begin<cv::Vec3b>(); it != picture.end<cv::Vec3b>(); ++it)
      n += *it == colour;
    EXPECT_GT(n, 200);
  }
}

}  // namespace
