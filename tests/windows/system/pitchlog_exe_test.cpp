// The Windows programs, unpacked from pitchlog-windows-x64.zip, under Wine:
// first pitchlog.exe watching the practice game, which plays in its X11
// window on a private 1024 x 768 Xvfb while `wine pitchlog.exe` grabs that
// display with GDI. Wine runs in a Japanese locale, so its code page is 932
// as on the Windows pitchlog is made for, and the whole game runs in an
// English one too. text.txt and the console are checked against the reports
// built from the game's truth log. pitchlog-pictures.exe and
// pitchlog-replay.exe follow at the end.
//
// A burst's frames are spaced by one capture: the grab, capture.bmp written
// and loaded, and the 60 ms pause. Wine's GDI grab of the X screen takes
// longer than a native grab, by how much depends on the machine and its load,
// so each test measures both capture periods on its display first and plays
// the game slower by their ratio: a burst then spans as much game time as a
// native pitchlog's does on this machine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "control/capture/capture_frame.h"
#include "control/capture/desktop_platform.h"
#include "control/capture/shift_jis.h"
#include "end_to_end/x11_keys.h"
#include "pictures/piped_child.h"
#include "practice/data_pictures.h"
#include "practice/expected_report.h"
#include "practice/shots.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using env_list = std::vector<std::pair<std::string, std::string>>;

// Starts argv in `dir` with extra environment variables, standard input from
// `in_fd` (/dev/null when -1), output and errors into files; in a process
// group of its own, so that Wine's helpers end with it.
pid_t start(const std::vector<std::string>& argv, const env_list& env, const fs::path& dir,
            const fs::path& out, const fs::path& err, int in_fd = -1) {
  return practice::start_process({.argv = argv,
                                  .dir = dir,
                                  .env = env,
                                  .input_fd = in_fd,
                                  .output = out,
                                  .errors = err,
                                  .own_group = true});
}

bool wait_until(double seconds, const std::function<bool()>& done) {
  return practice::wait_until(done,
                              std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
}

// The process's exit code once it has ended within `seconds`; -1 while it
// runs, -2 when a signal ended it.
int exit_code_within(pid_t pid, double seconds) {
  const std::optional<int> status = practice::wait_process(
      pid, std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
  if (!status) return -1;
  return WIFEXITED(*status) ? WEXITSTATUS(*status) : -2;
}

void kill_group(pid_t pid) {
  practice::stop_process(pid, SIGKILL, std::chrono::seconds(10), true);
}

std::vector<practice::truth_pitch> read_truth(const fs::path& path) {
  std::vector<practice::truth_pitch> truth;
  std::istringstream lines(read_file(path));
  for (std::string line; std::getline(lines, line);) {
    std::string error;
    const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error);
    EXPECT_TRUE(p) << error;
    if (p) truth.push_back(*p);
  }
  return truth;
}

// The median of 60 captures of the native pitchlog's capture path on the
// display DISPLAY names, each with its pause, after one that warms up.
double native_capture_period_ms() {
  std::ostream& quiet = pitchlog::discard_stream();
  const pitchlog::platform p = pitchlog::desktop_platform(quiet, quiet);
  std::vector<double> times;
  for (int i = 0; i <= 60; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (pitchlog::capture_frame(p).empty()) return -1;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (i > 0) times.push_back(took.count());
  }
  std::sort(times.begin(), times.end());
  return (times[29] + times[30]) / 2;
}

// text.txt byte for byte the reports expected for `truth` with Windows line
// ends, each pitch recorded once as thrown.
void expect_reports_of(const std::vector<practice::truth_pitch>& truth, std::string text) {
  const int line_ends = test_support::count_of(text, "\r\n");
  EXPECT_EQ(test_support::count_of(text, "\n"), line_ends);
  EXPECT_EQ(test_support::count_of(text, "\r"), line_ends);
  std::erase(text, '\r');
  const practice::report_check c = practice::check_reports(truth, text);
  EXPECT_EQ(c.recorded, c.thrown);
  EXPECT_EQ(c.as_thrown, c.thrown);
  EXPECT_TRUE(c.identical) << c.first_difference;
}

// One pitch, then one whose inning sign is hidden, then a long field view.
constexpr const char* unreadable_inning = R"({
  "timeline": [
    {"screen": "play_ball", "ms": 1500},
    {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
    {"pitch": "fork", "balls": 0, "strikes": 1, "inning_sign": false},
    {"screen": "field", "ms": 60000}]})";

// Three pitches, each team's pitcher named in a crop of its own.
constexpr const char* three_pitches = R"({
  "timeline": [
    {"screen": "play_ball", "ms": 1500},
    {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
    {"pitch": "shoot", "pitcher": "SHIROI", "hand": "left", "balls": 0, "strikes": 1},
    {"screen": "scoreboard", "ms": 1000, "half": "bottom"},
    {"pitch": "fork", "pitcher": "KURODA", "hand": "left", "half": "bottom", "balls": 0, "strikes": 0},
    {"screen": "game_set", "ms": 2000}]})";

const fs::path bin{PITCHLOG_BINARY_DIR};

class pitchlog_exe : public ::testing::Test {
 protected:
  pitchlog_exe() : pitchlog_exe(1024, 768) {}
  pitchlog_exe(int width, int height) : x_(width, height) {}

  void SetUp() override {
    start_wine("ja_JP");
    if (!HasFatalFailure()) measure_pace();
  }

  // Wine in `locale` (ja_JP: code page 932; en_US: 1252), in a prefix of its
  // own, on this test's display.
  void start_wine(const std::string& locale) {
    ASSERT_TRUE(fs::exists(PITCHLOG_WINDOWS_ZIP))
        << PITCHLOG_WINDOWS_ZIP << ": run scripts/windows";
    ASSERT_FALSE(std::string(PITCHLOG_WINE).empty()) << "Wine is not installed";
    ASSERT_FALSE(x_.display().empty()) << x_.failure();
    // A private locale (the machine needs none installed).
    const fs::path locales = bin / "wine-locale";
    const std::string name = locale + ".UTF-8";
    if (!fs::exists(locales / name / "LC_CTYPE")) {
      fs::create_directories(locales);
      const pid_t localedef =
          start({"/usr/bin/localedef", "-i", locale, "-f", "UTF-8", (locales / name).string()}, {},
                dir_.path(), dir_.path() / "localedef.txt", dir_.path() / "localedef.txt");
      ASSERT_EQ(exit_code_within(localedef, 60), 0) << read_file(dir_.path() / "localedef.txt");
    }
    const fs::path prefix = bin / ("wine-prefix-" + locale.substr(0, 2));
    env_ = {{"WINEPREFIX", prefix.string()},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},  // no Mono or Gecko installer
            {"LOCPATH", locales.string()},
            {"LC_ALL", name},
            {"DISPLAY", x_.display()}};
    // A server left by an earlier test still talks to that test's display.
    stop_wineserver();
    if (!fs::exists(prefix / "system.reg")) {
      const pid_t boot = start({PITCHLOG_WINE, "wineboot", "-i"}, env_, dir_.path(),
                               dir_.path() / "boot.txt", dir_.path() / "boot.txt");
      const int code = exit_code_within(boot, 300);
      if (code == -1) kill_group(boot);
      ASSERT_EQ(code, 0) << "wineboot -i: " << read_file(dir_.path() / "boot.txt");
    }
  }

  // Sets pace_ from the two capture periods on this display, measured now.
  void measure_pace() {
    const fs::path out = dir_.path() / "wine-period.txt";
    const pid_t measure = start({PITCHLOG_WINE, PITCHLOG_CAPTURE_OVERHEAD_EXE, "--period"}, env_,
                                dir_.path(), out, dir_.path() / "wine-period-errors.txt");
    const int code = exit_code_within(measure, 300);
    if (code == -1) kill_group(measure);
    ASSERT_EQ(code, 0) << "capture-overhead.exe --period: "
                       << read_file(dir_.path() / "wine-period-errors.txt");
    double wine_ms = 0;
    std::istringstream(read_file(out)) >> wine_ms;
    setenv("DISPLAY", x_.display().c_str(), 1);
    const double native_ms = native_capture_period_ms();
    ASSERT_GT(wine_ms, 0) << read_file(out);
    ASSERT_GT(native_ms, 0) << "no native capture of " << x_.display();
    pace_ = std::clamp(wine_ms / native_ms, 0.25, 10.0);  // what practice-game takes
    std::printf(
        "[ pace     ] capture period %.1f ms under Wine, %.1f ms native: the game plays "
        "%.2f times slower\n",
        wine_ms, native_ms, pace_);
    std::fflush(stdout);
  }

  void TearDown() override {
    for (const pid_t pid : running_) kill_group(pid);
    if (!env_.empty()) stop_wineserver();
  }

  void stop_wineserver() {
    for (const char* how : {"-k", "-w"}) {
      const pid_t pid =
          start({PITCHLOG_WINESERVER, how}, env_, dir_.path(), "/dev/null", "/dev/null");
      if (exit_code_within(pid, 30) == -1) kill_group(pid);
    }
  }

  // A working folder `name` unpacked from the zip: pitchlog.exe, data\, README.txt.
  fs::path unpack(const std::string& name) {
    const fs::path folder = dir_.path() / name;
    fs::create_directories(folder);
    const pid_t tar =
        start({PITCHLOG_CMAKE, "-E", "tar", "xf", PITCHLOG_WINDOWS_ZIP}, {{"LC_ALL", "C.UTF-8"}},
              folder, dir_.path() / "unpack.txt", dir_.path() / "unpack.txt");
    EXPECT_EQ(exit_code_within(tar, 60), 0) << read_file(dir_.path() / "unpack.txt");
    EXPECT_TRUE(fs::exists(folder / "README.txt"));
    return folder;
  }

  // `args` (a program of the zip under Wine, or one of this machine) run in
  // `folder` to its end; its exit code, its output and errors in `out`.
  int run_to_end(const fs::path& folder, const std::vector<std::string>& args, std::string& out) {
    const pid_t pid = start(args, args[0].ends_with(".exe") ? env_ : env_list{}, folder,
                            folder / "out.txt", folder / "errors.txt");
    const int code = exit_code_within(pid, 600);
    if (code == -1) kill_group(pid);
    out = read_file(folder / "out.txt") + read_file(folder / "errors.txt");
    return code;
  }

  // `wine pitchlog.exe` in `folder`: console into console.txt, errors into errors.txt.
  pid_t start_pitchlog(const fs::path& folder, int in_fd = -1) {
    running_.push_back(start({PITCHLOG_WINE, "pitchlog.exe"}, env_, folder, folder / "console.txt",
                             folder / "errors.txt", in_fd));
    return running_.back();
  }

  // pitchlog.exe started and grabbing the screen, then the practice game
  // playing at the measured pace with its picture at (150, 140), its truth log
  // in truth.jsonl.
  pid_t watch_game(const fs::path& folder, std::vector<std::string> game) {
    const pid_t watcher = start_pitchlog(folder);
    EXPECT_TRUE(wait_until(120, [&] { return fs::exists(folder / "capture.bmp"); }))
        << "pitchlog.exe took no capture: " << read_file(folder / "errors.txt");
    game.insert(game.begin(), {(bin / "practice-game").string(), "play"});
    char slow[16];
    std::snprintf(slow, sizeof slow, "%.3f", pace_);
    game.insert(game.end(), {"--x", "150", "--y", "140", "--truth", "truth.jsonl", "--slow", slow});
    running_.push_back(
        start(game, {{"DISPLAY", x_.display()}}, folder, folder / "game.txt", folder / "game.txt"));
    return watcher;
  }

  // Waits for the game to end (at most `seconds` of game time) and for
  // pitchlog to print the report of its last pitch; pitchlog never ends on
  // its own here.
  void finish_game(const fs::path& folder, pid_t watcher, int seconds) {
    const pid_t game = running_.back();
    const int code = exit_code_within(game, seconds * pace_);
    EXPECT_EQ(code, 0) << "the game did not end well: " << read_file(folder / "game.txt");
    // The game ends on a screen without pitches: each pitch of the truth log
    // gets its report, the last closed by the four empty lines.
    const int thrown = test_support::count_of(read_file(folder / "truth.jsonl"), "\n");
    const std::string marker = pitchlog::to_shift_jis("[後攻チームの投手の配球記録]");
    EXPECT_TRUE(wait_until(60, [&] {
      const std::string text = read_file(folder / "text.txt");
      return test_support::count_of(text, marker) >= thrown && text.ends_with("\r\n\r\n\r\n\r\n");
    })) << "fewer reports than pitches";
    EXPECT_EQ(exit_code_within(watcher, 0), -1)
        << "pitchlog.exe ended on its own: " << read_file(folder / "errors.txt");
  }

  practice::xvfb x_;
  test_support::scoped_work_dir dir_;
  env_list env_;
  std::vector<pid_t> running_;
  double pace_ = 1;  // game time runs this many times slower than the clock
};

// The same game in Wine's Japanese locale and in an English one, whose
// system code page (1252) cannot name the pictures of data\: the files and
// the console's bytes are the same in both.
class pitchlog_exe_in_locale : public pitchlog_exe,
                               public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    start_wine(GetParam());
    if (!HasFatalFailure()) measure_pace();
  }
};

INSTANTIATE_TEST_SUITE_P(locales, pitchlog_exe_in_locale, ::testing::Values("ja_JP", "en_US"),
                         [](const auto& info) { return std::string(info.param); });

// Seed 6 cut after its seventh pitch: four pitches in the top half and three
// in the bottom, so both teams' names and reports, in 43 s of game time.
TEST_P(pitchlog_exe_in_locale, records_a_seeded_game_in_code_page_932_file_and_console) {
  const fs::path folder = unpack("game");
  const pid_t watcher = watch_game(folder, {"--seed", "6", "--innings", "1", "--pitches", "7"});
  finish_game(folder, watcher, 300);

  const std::vector<practice::truth_pitch> truth = read_truth(folder / "truth.jsonl");
  ASSERT_EQ(truth.size(), 7u);
  const std::string text = read_file(folder / "text.txt");
  expect_reports_of(truth, text);
  // The console got the same lines, in the same code page and line ends.
  EXPECT_EQ(read_file(folder / "console.txt"), text);
}

TEST_F(pitchlog_exe, a_missing_start_up_picture_prints_the_message_and_reads_one_character) {
  const fs::path folder = unpack("missing");
  ASSERT_TRUE(fs::remove(folder / "data" / "ボールカウント.png"));
  const std::string earlier = "an earlier run's report\r\n";
  std::ofstream(folder / "text.txt", std::ios::binary) << earlier;
  int key[2];
  ASSERT_EQ(pipe2(key, O_CLOEXEC), 0);
  const pid_t watcher = start_pitchlog(folder, key[0]);
  close(key[0]);

  // "ファイルが読み込めません。" in code page 932 by hand, then a Windows line end.
  const std::string message =
      "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9"
      "\x82\xf1\x81\x42\r\n";
  EXPECT_TRUE(wait_until(120, [&] { return read_file(folder / "console.txt") == message; }))
      << read_file(folder / "console.txt") << read_file(folder / "errors.txt");
  // It waits for the character.
  int code = exit_code_within(watcher, 1);
  EXPECT_EQ(code, -1) << "pitchlog.exe ended before its character";
  if (code == -1 && write(key[1], "x", 1) == 1) code = exit_code_within(watcher, 30);
  close(key[1]);
  EXPECT_EQ(code, 255) << "exit -1 reaches Linux as 255";
  EXPECT_EQ(read_file(folder / "text.txt"), earlier);
}

TEST_F(pitchlog_exe, an_unreadable_inning_sign_shows_the_burst_in_windows_and_a_key_ends_with_0) {
  const fs::path folder = unpack("inspection");
  std::ofstream(folder / "game.json") << unreadable_inning;
  const pid_t watcher = watch_game(folder, {"--scenario", "game.json"});

  const bool shown = wait_until(120, [&] {
    const std::vector<std::string> names = x11_keys::window_names(x_.display());
    for (int i = 1; i <= 11; ++i)
      if (std::find(names.begin(), names.end(), "src_img" + std::to_string(i)) == names.end())
        return false;
    return true;
  });
  EXPECT_TRUE(shown) << read_file(folder / "errors.txt");
  // The windows wait for a key; until then pitchlog.exe keeps running.
  int code = exit_code_within(watcher, 1);
  EXPECT_EQ(code, -1);
  if (code == -1) {
    EXPECT_TRUE(x11_keys::press_return(x_.display(), "src_img1"));
    code = exit_code_within(watcher, 30);
  }
  EXPECT_EQ(code, 0) << read_file(folder / "errors.txt");

  // The report of the first pitch is whole in text.txt.
  std::vector<practice::truth_pitch> truth = read_truth(folder / "truth.jsonl");
  ASSERT_GE(truth.size(), 1u);
  truth.resize(1);
  expect_reports_of(truth, read_file(folder / "text.txt"));
}

TEST_F(pitchlog_exe, runs_in_a_folder_with_a_japanese_path_and_opens_data_by_its_japanese_names) {
  const fs::path folder = unpack("配球記録 テスト");
  std::ofstream(folder / "game.json") << three_pitches;
  const pid_t watcher = watch_game(folder, {"--scenario", "game.json"});
  finish_game(folder, watcher, 120);

  // The start-up pictures, both inning signs and both hand signs were read
  // under their Japanese names; the name crops lie in the Japanese folder.
  expect_reports_of(read_truth(folder / "truth.jsonl"), read_file(folder / "text.txt"));
  for (const char* crop : {"pitcher_name_bat.png", "pitcher_name_field.png"})
    EXPECT_TRUE(fs::exists(folder / crop)) << crop;
}

// pitchlog-pictures.exe from the zip on the practice game's shot desktop, in
// the English locale, where only the wide file API names data\'s pictures:
// shoot answered through standard input while the game shows each screen,
// cut with the practice cuts, check. Nothing here depends on the pace.
class pictures_exe : public pitchlog_exe {
 protected:
  pictures_exe() : pitchlog_exe(practice::shot_layout().width, practice::shot_layout().height) {}
  void SetUp() override { start_wine("en_US"); }
};

TEST_F(pictures_exe, shoots_cuts_and_checks_the_practice_data_byte_for_byte) {
  const fs::path folder = unpack("pictures");
  const practice::desktop_layout layout = practice::shot_layout();
  test_support::child show =
      test_support::spawn({(bin / "practice-game").string(), "show", "--x",
                           std::to_string(layout.game_x), "--y", std::to_string(layout.game_y)},
                          {{"DISPLAY", x_.display()}}, folder);
  test_support::child shoot =
      test_support::spawn({PITCHLOG_WINE, "pitchlog-pictures.exe", "shoot", "shots"}, env_, folder,
                          folder / "shoot.txt");
  running_.push_back(shoot.pid);
  int code = -1;
  const std::vector<std::string> asked = test_support::drive_shoot(shoot, show, {}, code, 120);
  EXPECT_EQ(code, 0) << read_file(folder / "shoot.txt");
  EXPECT_EQ(asked.size(), practice::shot_views().size());
  EXPECT_EQ(test_support::finish(show), 0);

  std::ofstream(folder / "shots" / "cuts.json") << practice::practice_cuts_json(layout);
  std::string out;
  ASSERT_EQ(
      run_to_end(folder, {PITCHLOG_WINE, "pitchlog-pictures.exe", "cut", "shots", "--out", "mine"},
                 out),
      0)
      << out;
  std::string error;
  ASSERT_TRUE(practice::write_data_pictures((folder / "practice").string(), error)) << error;
  for (const practice::data_picture& p : practice::data_picture_table) {
    const fs::path name = fs::path(std::u8string(p.file_name.begin(), p.file_name.end()));
    const std::string bytes = read_file(folder / "mine" / name);
    EXPECT_FALSE(bytes.empty()) << p.file_name;
    EXPECT_TRUE(bytes == read_file(folder / "practice" / name)) << p.file_name << " differs";
  }
  EXPECT_EQ(
      run_to_end(folder, {PITCHLOG_WINE, "pitchlog-pictures.exe", "check", "mine", "shots"}, out),
      0)
      << out;
  EXPECT_NE(out.find("pass: "), std::string::npos) << out;
}

// pitchlog-replay.exe from the zip, in the English locale, on an H.264
// recording (MP4, the usual recorder's output) of the seeded game: its
// FFmpeg decoder gives every pitch, text.txt the expected reports.
class replay_exe : public pitchlog_exe {
 protected:
  void SetUp() override { start_wine("en_US"); }
};

TEST_F(replay_exe, replays_an_h264_recording_into_the_expected_reports) {
  const fs::path folder = unpack("replay");
  std::string out;
  ASSERT_EQ(run_to_end(folder,
                       {(bin / "practice-game").string(), "record", "--seed", "5", "--innings", "1",
                        "--truth", "truth.jsonl", "--out", "game.mp4", "--codec", "h264"},
                       out),
            0)
      << out;
  EXPECT_EQ(run_to_end(folder, {PITCHLOG_WINE, "pitchlog-replay.exe", "game.mp4"}, out), 0) << out;
  const std::vector<practice::truth_pitch> truth = read_truth(folder / "truth.jsonl");
  ASSERT_GE(truth.size(), 15u);
  expect_reports_of(truth, read_file(folder / "text.txt"));
  // pitches.csv: its header and a row per pitch.
  EXPECT_EQ(test_support::count_of(read_file(folder / "pitches.csv"), "\n"),
            static_cast<int>(truth.size()) + 1);
}

}  // namespace
