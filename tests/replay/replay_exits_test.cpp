// pitchlog-replay where nothing can be watched or kept: a video without the
// game picture, a text.txt that cannot be opened (one line each); inning signs
// that cannot be read: each such pitch named with the time it was caught, its
// burst kept, and a count at the end.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/videoio.hpp>

#include "practice/expected_report.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A program of the build folder run in the working folder: its exit status.
int run(std::vector<std::string> argv) {
  argv[0] = std::string(PITCHLOG_BINARY_DIR) + "/" + argv[0];
  const std::optional<int> status = practice::run_process(
      {.argv = argv, .output = "stdout.txt", .errors = "stderr.txt"}, std::chrono::minutes(5));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(replay_ends, with_one_line_where_nothing_can_be_watched_or_kept) {
  enum class setup { no_game, report_folder, no_inning_signs };
  const struct {
    setup how;
    int status;
    const char* line;  // the last line of standard error starts with it
  } rows[] = {
      {setup::no_game, 5, "pitchlog-replay: the game picture (data/低め.png) was found nowhere"},
      {setup::report_folder, 1, "pitchlog-replay: text.txt cannot be opened"},
      {setup::no_inning_signs, 4, "pitchlog-replay: the inning half of the pitch at "},  // first
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.line);
    test_support::scoped_work_dir dir;
    fs::copy(test_support::source_data_dir(), "data");
    if (r.how == setup::no_inning_signs) {
      ASSERT_EQ(run({"practice-game", "record", "--seed", "5", "--innings", "1", "--codec", "mjpg",
                     "--out", "game.avi", "--truth", "truth.jsonl"}),
                0);
      fs::remove("data/オモテ.png");
      fs::remove("data/ウラ.png");
    } else {  // two seconds of a desktop without the game
      cv::VideoWriter out("game.avi", cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                          30.0, {320, 240});
      for (int i = 0; i < 60; ++i) out.write(cv::Mat(240, 320, CV_8UC3, cv::Scalar(90, 60, i)));
    }
    if (r.how == setup::report_folder) fs::create_directory("text.txt");

    EXPECT_EQ(run({"pitchlog-replay", "game.avi"}), r.status);
    // At most the last progress line, then the reason.
    const std::string err = test_support::read_file("stderr.txt");
    ASSERT_TRUE(err.ends_with("\n")) << err;
    const std::string last = err.substr(err.rfind('\n', err.size() - 2) + 1);
    if (r.how != setup::no_inning_signs) {
      EXPECT_TRUE(last.starts_with(r.line)) << err;
      EXPECT_LE(test_support::count_of(err, "\n"), 2) << err;
      continue;
    }
    // Every pitch thrown is caught and cannot be read: named one by one, counted at the end.
    const int named_pitches = test_support::count_of(err, r.line);
    EXPECT_EQ(named_pitches, test_support::count_of(test_support::read_file("truth.jsonl"), "\n"));
    EXPECT_TRUE(last.starts_with("pitchlog-replay: " + std::to_string(named_pitches) +
                                 " pitches could not be read"))
        << err;
    const std::string first_named = err.substr(err.find(r.line));
    std::string error;
    const std::string truth = test_support::read_file("truth.jsonl");
    const std::optional<practice::truth_pitch> first =
        practice::parse_truth_line(truth.substr(0, truth.find('\n')), error);
    ASSERT_TRUE(first) << error;
    int h = 0, m = 0, s = 0, ms = 0;
    ASSERT_EQ(std::sscanf(first_named.c_str() + std::string(r.line).size(), "%d:%d:%d.%d", &h, &m,
                          &s, &ms),
              4);
    const int64_t named = ((h * 60LL + m) * 60 + s) * 1000 + ms;
    EXPECT_GE(named, first->time_ms);
    EXPECT_LT(named, first->time_ms + 200);  // the burst ends some 700 ms later
    char folder[40];
    std::snprintf(folder, sizeof folder, "unread_%d-%02d-%02d.%03d", h, m, s, ms);
    for (const char* picture : {"/src_img1.png", "/src_img11.png"})
      EXPECT_TRUE(fs::is_regular_file(std::string(folder) + picture)) << folder << picture;
  }
}

}  // namespace
