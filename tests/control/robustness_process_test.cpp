// build/pitchlog as a process watching the practice game on a private Xvfb,
// ended from outside: by SIGINT, SIGTERM or SIGKILL, or by the X display going
// away. Every report line is flushed to text.txt as it is printed, SIGINT and
// SIGTERM wait for a report being written to be whole, and the grab's
// shared-memory segment is marked for removal as soon as it is attached, so it
// goes once the process and the X server have both let go of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "control/capture/shift_jis.h"
#include "practice/data_pictures.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using pitchlog::to_shift_jis;
using test_support::count_of;
using test_support::read_file;
using test_support::shm_segments_of;

const fs::path binary_dir = PITCHLOG_BINARY_DIR;
const std::string report_header = "[後攻チームの投手の配球記録]";

// A pitch every few seconds for about a minute and a half.
std::string long_game() {
  std::string json = R"({"timeline": [{"screen": "play_ball", "ms": 1000})";
  const char* types[] = {"straight", "curve", "fork", "shoot"};
  for (int i = 0; i < 24; ++i) {
    json += R"(, {"pitch": ")" + std::string(types[i % 4]) +
            R"(", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0})";
  }
  return json + R"(, {"screen": "field", "ms": 60000}]})";
}

// Starts `argv` in `dir` on `display`, standard output and error into files there.
pid_t start(const std::vector<std::string>& argv, const fs::path& dir, const std::string& display) {
  return practice::start_process({.argv = argv,
                                  .dir = dir,
                                  .env = {{"DISPLAY", display}},
                                  .output = dir / "stdout.txt",
                                  .errors = dir / "stderr.txt"});
}

// Waits for `pid` to end, for at most `limit`; false (and the process killed) when it did not.
bool reap(pid_t pid, int& status, std::chrono::seconds limit) {
  if (const std::optional<int> ended = practice::wait_process(pid, limit)) {
    status = *ended;
    return true;
  }
  status = practice::stop_process(pid, SIGKILL);
  return false;
}

// The segment lives until the X server has handled pitchlog's disconnect as
// well, a moment after pitchlog itself is gone.
bool segments_gone(pid_t pid) {
  return test_support::wait_until([&] { return shm_segments_of(pid) == 0; },
                                  std::chrono::seconds(10));
}

// The practice game playing on its own Xvfb, and a folder for each pitchlog run.
class live_game : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(x_.display().empty()) << x_.failure();
    ASSERT_TRUE(fs::exists(binary_dir / "pitchlog")) << "build pitchlog first";
    ASSERT_TRUE(fs::exists(binary_dir / "practice-game")) << "build practice-game first";
    fs::create_directory("game");
    std::ofstream("game/scenario.json") << long_game();
    game_ = start({(binary_dir / "practice-game").string(), "play", "--scenario", "scenario.json",
                   "--x", "100", "--y", "80"},
                  "game", x_.display());
  }
  void TearDown() override {
    if (game_ > 0) practice::stop_process(game_);
  }

  // Starts pitchlog in a fresh folder with the reference pictures; waits
  // until text.txt holds a whole first report.
  pid_t start_watcher(const fs::path& folder) {
    std::string error;
    EXPECT_TRUE(practice::write_data_pictures(folder / "data", error)) << error;
    const pid_t pid = start({(binary_dir / "pitchlog").string()}, folder, x_.display());
    const bool reported = test_support::wait_for_file(
        folder / "text.txt",
        [&](const std::string& file) {
          // The first report ends with four empty lines.
          return count_of(file, to_shift_jis(report_header)) >= 1 && file.ends_with("\n\n\n\n");
        },
        std::chrono::seconds(90));
    EXPECT_TRUE(reported) << "no report from pitchlog:\n" << read_file(folder / "stderr.txt");
    return pid;
  }

  // Kills the X server itself.
  void kill_display() {
    ASSERT_GT(x_.pid(), 1);
    kill(x_.pid(), SIGKILL);
  }

  test_support::scoped_work_dir dir_;
  practice::xvfb x_{1024, 768};
  pid_t game_ = -1;
};

// What the file holds is what was printed, up to the last whole line: SIGKILL
// may fall between a line on the console and the same line in the file.
void expect_report_kept(const fs::path& folder, bool whole) {
  const std::string printed = to_shift_jis(read_file(folder / "stdout.txt"));
  const std::string kept = read_file(folder / "text.txt");
  ASSERT_TRUE(printed.starts_with(kept)) << "text.txt differs from what was printed";
  EXPECT_TRUE(kept.empty() || kept.ends_with("\n"));
  if (whole) {
    EXPECT_EQ(kept, printed);
  } else {
    EXPECT_LE(count_of(printed.substr(kept.size()), "\n"), 1);
  }
  EXPECT_GE(count_of(kept, to_shift_jis(report_header)), 1);
}

TEST_F(live_game, sigint_sigterm_and_sigkill_end_the_run_and_keep_every_printed_line) {
  for (const int sig : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(strsignal(sig));
    const fs::path folder = "watch-" + std::to_string(sig);
    fs::create_directory(folder);
    const pid_t pid = start_watcher(folder);
    // The grab's one segment, already marked for removal.
    EXPECT_EQ(shm_segments_of(pid), 1);
    kill(pid, sig);
    int status = 0;
    ASSERT_TRUE(reap(pid, status, std::chrono::seconds(10))) << "pitchlog did not end";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
    expect_report_kept(folder, sig != SIGKILL);
    EXPECT_TRUE(segments_gone(pid)) << "a shared-memory segment outlived pitchlog";
    EXPECT_EQ(read_file(folder / "stderr.txt"), "");
  }
}

TEST_F(live_game, the_display_going_away_ends_the_run_with_minus_one_and_one_line) {
  const fs::path folder = "watch";
  fs::create_directory(folder);
  const pid_t pid = start_watcher(folder);
  kill_display();
  int status = 0;
  ASSERT_TRUE(reap(pid, status, std::chrono::seconds(20))) << "pitchlog did not end";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);  // -1
  const std::string errors = read_file(folder / "stderr.txt");
  EXPECT_EQ(count_of(errors, "\n"), 1) << errors;
  EXPECT_NE(errors.find(x_.display()), std::string::npos) << errors;
  expect_report_kept(folder, true);
  EXPECT_TRUE(segments_gone(pid)) << "a shared-memory segment outlived pitchlog";
}

}  // namespace
