// build/pitchlog watching the practice game live: the game in its X11 window on
// a private Xvfb, pitchlog grabbing that display in real time, and text.txt
// compared with the reports a correct watcher prints for the truth log.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "control/capture/shift_jis.h"
#include "end_to_end/x11_keys.h"
#include "practice/expected_report.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Fourteen pitches in under a minute: both hands, a pitcher change in
// each team, interludes between them.
constexpr const char* short_game = R"({
  "timeline": [
    {"screen": "title", "ms": 1500},
    {"screen": "play_ball", "ms": 1500},
    {"screen": "scoreboard", "ms": 1000, "inning": 1, "half": "top"},
    {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
    {"pitch": "curve", "balls": 0, "strikes": 1},
    {"pitch": "fork", "balls": 0, "strikes": 2},
    {"pitch": "shoot", "balls": 1, "strikes": 2},
    {"screen": "field", "ms": 1000},
    {"pitch": "curve", "balls": 0, "strikes": 0},
    {"screen": "time_out", "ms": 1000},
    {"pitch": "shoot", "pitcher": "SHIROI", "hand": "left", "balls": 0, "strikes": 1},
    {"pitch": "straight", "balls": 1, "strikes": 1},
    {"screen": "scoreboard", "ms": 1000, "half": "bottom"},
    {"pitch": "fork", "pitcher": "KURODA", "hand": "left", "half": "bottom", "balls": 0, "strikes": 0},
    {"pitch": "curve", "balls": 1, "strikes": 0},
    {"pitch": "straight", "balls": 1, "strikes": 1},
    {"screen": "cut_in", "ms": 1200},
    {"pitch": "shoot", "pitcher": "MIDORI", "hand": "right", "balls": 0, "strikes": 0},
    {"pitch": "fork", "balls": 0, "strikes": 1},
    {"pitch": "curve", "balls": 0, "strikes": 2},
    {"pitch": "straight", "balls": 1, "strikes": 2},
    {"screen": "game_set", "ms": 2000}]})";

// One pitch, then one whose inning sign is hidden, then a long field view.
constexpr const char* unreadable_inning = R"({
  "desktop": {"width": 1280, "height": 800},
  "timeline": [
    {"screen": "play_ball", "ms": 1500},
    {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
    {"pitch": "fork", "balls": 0, "strikes": 1, "inning_sign": false},
    {"screen": "field", "ms": 60000}]})";

using test_support::read_file;

// Starts `argv` in `dir` on `display`, its output into `out_file`, its input
// from `in_fd` (/dev/null when -1). Under LeakSanitizer the few allocations
// that the window toolkit's D-Bus and fontconfig keep until the process ends
// are not counted as pitchlog's leaks.
pid_t start(const std::vector<std::string>& argv, const fs::path& dir, const std::string& display,
            const fs::path& out_file, int in_fd = -1) {
  std::ofstream(dir / "lsan.supp") << "leak:libdbus-1.so\nleak:libfontconfig.so\n";
  const std::string lsan = "suppressions=" + (dir / "lsan.supp").string();
  return practice::start_process({.argv = argv,
                                  .dir = dir,
                                  .env = {{"DISPLAY", display}, {"LSAN_OPTIONS", lsan}},
                                  .input_fd = in_fd,
                                  .output = out_file});
}

// Waits up to `seconds` for the process to end; its wait status, or -1.
int wait_for(pid_t pid, int seconds) {
  return practice::wait_process(pid, std::chrono::seconds(seconds)).value_or(-1);
}

// A private 1280 x 800 Xvfb and a working folder with the reference pictures
// and the scenario "game.json"; the test starts pitchlog and the game in it.
class live_run : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(bin / "pitchlog") && fs::exists(bin / "practice-game"))
        << "build pitchlog and practice-game first";
    ASSERT_FALSE(x.display().empty()) << x.failure();
    fs::copy(test_support::source_data_dir(), dir.path() / "data");
  }

  void write_scenario(const char* json) { std::ofstream(dir.path() / "game.json") << json; }

  // The practice game playing "game.json" with its picture at (x, y), its
  // truth log in "truth.jsonl".
  pid_t play(const char* game_x, const char* game_y) {
    return start({(bin / "practice-game").string(), "play", "--scenario", "game.json", "--x",
                  game_x, "--y", game_y, "--truth", "truth.jsonl"},
                 dir.path(), x.display(), dir.path() / "game.txt");
  }

  const fs::path bin{PITCHLOG_BINARY_DIR};
  practice::xvfb x{1280, 800};  // the demo covers 1920x1080
  test_support::scoped_work_dir dir;
};

TEST_F(live_run, pitchlog_records_every_pitch_of_the_practice_game_as_thrown) {
  write_scenario(short_game);

  const pid_t watcher =
      start({(bin / "pitchlog").string()}, dir.path(), x.display(), dir.path() / "console.txt");
  const pid_t game = play("333", "222");
  const int status = wait_for(game, 120);
  if (status == -1) practice::stop_process(game, SIGKILL);
  // The game ends on two seconds of game set: by then every pitch is
  // reported, the last one with the four empty lines that close a report.
  const int thrown = test_support::count_of(read_file(dir.path() / "truth.jsonl"), "\n");
  EXPECT_TRUE(test_support::wait_for_file(
      dir.path() / "text.txt",
      [&](const std::string& text) {
        return test_support::count_of(
                   text, pitchlog::to_shift_jis("[後攻チームの投手の配球記録]")) == thrown &&
               text.ends_with("\n\n\n\n");
      },
      std::chrono::seconds(20)));
  // A run that shows no windows never maps the window toolkit.
  const std::string maps = read_file("/proc/" + std::to_string(watcher) + "/maps");
  const int watcher_status = practice::stop_process(watcher);
  ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << read_file(dir.path() / "game.txt");
  EXPECT_TRUE(WIFSIGNALED(watcher_status)) << "pitchlog ended on its own:\n"
                                           << read_file(dir.path() / "console.txt");
  EXPECT_NE(maps.find("pitchlog"), std::string::npos);
  for (const char* toolkit : {"highgui", "Qt5", "libgtk", "pitchlog-windows"})
    EXPECT_EQ(maps.find(toolkit), std::string::npos) << toolkit << " mapped:\n" << maps;

  std::vector<practice::truth_pitch> truth;
  std::istringstream lines(read_file(dir.path() / "truth.jsonl"));
  for (std::string line; std::getline(lines, line);) {
    std::string error;
    const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error);
    ASSERT_TRUE(p) << error;
    truth.push_back(*p);
  }
  ASSERT_GE(truth.size(), 10u);
  const practice::report_check c =
      practice::check_reports(truth, read_file(dir.path() / "text.txt"));
  EXPECT_EQ(c.recorded, c.thrown);
  EXPECT_EQ(c.as_thrown, c.thrown);
  EXPECT_TRUE(c.identical) << c.first_difference;
}

TEST_F(live_run, an_unreadable_inning_shows_the_burst_and_ends_with_0_after_a_key) {
  write_scenario(unreadable_inning);
  const pid_t watcher =
      start({(bin / "pitchlog").string()}, dir.path(), x.display(), dir.path() / "console.txt");
  const pid_t game = play("200", "100");

  // All twelve images shown: the trigger frame and frames 1 to 11 in eleven windows.
  auto all_shown = [&] {
    const std::vector<std::string> names = x11_keys::window_names(x.display());
    for (int i = 1; i <= 11; ++i)
      if (std::find(names.begin(), names.end(), "src_img" + std::to_string(i)) == names.end())
        return false;
    return true;
  };
  EXPECT_TRUE(test_support::wait_until(all_shown, std::chrono::seconds(30)))
      << read_file(dir.path() / "console.txt");
  // The windows wait for a key; until then pitchlog keeps running.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(wait_for(watcher, 0), -1);
  EXPECT_TRUE(x11_keys::press_return(x.display(), "src_img1"));
  const int status = wait_for(watcher, 20);
  if (status == -1) practice::stop_process(watcher, SIGKILL);
  practice::stop_process(game);
  ASSERT_NE(status, -1) << "pitchlog did not end after the key";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << "\n"
      << read_file(dir.path() / "console.txt");

  // The report of the first pitch is whole in text.txt.
  std::string error;
  std::istringstream lines(read_file(dir.path() / "truth.jsonl"));
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error);
  ASSERT_TRUE(p) << error;
  const practice::report_check c =
      practice::check_reports({*p}, read_file(dir.path() / "text.txt"));
  EXPECT_TRUE(c.identical) << c.first_difference;
}

// pitchlog copied without its window module: the burst goes to image files
// named after the windows, one line asks for Enter, and Enter ends the run with 0.
TEST_F(live_run, without_the_window_module_the_burst_is_written_to_files_and_enter_ends_with_0) {
  fs::copy_file(bin / "pitchlog", dir.path() / "pitchlog");
  write_scenario(unreadable_inning);
  int enter[2];
  ASSERT_EQ(pipe2(enter, O_CLOEXEC), 0);
  const fs::path console = dir.path() / "console.txt";
  const pid_t watcher =
      start({(dir.path() / "pitchlog").string()}, dir.path(), x.display(), console, enter[0]);
  close(enter[0]);
  const pid_t game = play("200", "100");

  EXPECT_TRUE(test_support::wait_for_file(
      console,
      [](const std::string& said) { return said.find("press Enter") != std::string::npos; },
      std::chrono::seconds(30)))
      << read_file(console);
  // Enter goes only to a pitchlog still waiting: a pipe nobody reads would
  // end the test with SIGPIPE.
  int status = wait_for(watcher, 0);
  EXPECT_EQ(status, -1) << "pitchlog ended before Enter";
  if (status == -1 && write(enter[1], "\n", 1) == 1) status = wait_for(watcher, 20);
  close(enter[1]);
  if (status == -1) practice::stop_process(watcher, SIGKILL);
  practice::stop_process(game);
  ASSERT_NE(status, -1) << "pitchlog did not end after Enter";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const std::string said = read_file(console);
  EXPECT_NE(said.find("pitchlog: cannot show windows ("), std::string::npos) << said;
  EXPECT_NE(said.find("pitchlog-windows.so"), std::string::npos) << said;
  for (int i = 1; i <= 11; ++i) {
    const cv::Mat image =
        cv::imread((dir.path() / ("src_img" + std::to_string(i) + ".png")).string());
    EXPECT_TRUE(image.cols == 1280 && image.rows == 800) << "src_img" << i << ".png";
  }
}

}  // namespace
