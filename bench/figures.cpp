// bench_figures: pitchlog's cost on a 1920 x 1080 desktop, in one table.
//
// On a private Xvfb it measures, each figure as a median over repeated runs:
//   - the capture overhead beyond the 60 ms pause (grab, conversion, write of
//     "capture.bmp", load back), beside plain XGetImage with a truncating write,
//     and the same overhead of pitchlog.exe's GDI grab under Wine on the same
//     screen (capture-overhead.exe of build-windows/; a figure for the record:
//     Wine is not Windows);
//   - the CPU share of a real pitchlog process watching the practice game's
//     versus view with no pitch (user + system time over wall time), and where
//     one watching capture's CPU goes, step by step, measured in this process
//     on the same view: grab, write, load, scene pass, and the two library
//     calls (imread and matchTemplate) that no change around them can remove;
//   - one locating attempt that locks and one that misses (a full search);
//   - while the game picture is absent, on a desktop painted by
//     bench_desktop_painter (still, a clock ticking, a video playing): the CPU
//     share of a real pitchlog process beside the same stage with reuse but
//     without the server's change reports, and beside today's path (a full
//     search at every attempt), each a child process on the same desktop; and
//     the time from the game picture appearing to the lock, and from its
//     hiding on the still desktop to the fiftieth miss, both ways;
//   - the per-pitch analysis over a whole practice game on the practice game's
//     in-process desktop, in virtual time: from the last burst capture to the
//     last report line;
//   - the peak resident memory of a real pitchlog process over a whole
//     practice game played in real time on the Xvfb.
// pitchlog and practice-game are taken from the folder this tool lives in.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "bench/reference_write.h"
#include "control/capture/capture_frame.h"
#include "control/capture/desktop_platform.h"
#include "control/capture/linux/x11_grab.h"
#include "control/capture/screen_capture.h"
#include "control/main_loop.h"
#include "control/templates/template_store.h"
#include "practice/data_pictures.h"
#include "practice/desktop.h"
#include "practice/process.h"
#include "practice/scenario.h"
#include "screen/game_area_locator.h"
#include "screen/pitch_trigger.h"
#include "screen/scene_recognizer.h"

namespace fs = std::filesystem;
using namespace pitchlog;
using clock_type = std::chrono::steady_clock;

namespace {

// pitchlog's own choice (src/main.cpp): OpenCV works on the calling thread only.
constexpr int opencv_threads = 1;

constexpr int capture_repeats = 60;
constexpr int step_captures = 300;  // about 20 s of watching at one capture per cycle
constexpr int step_warm_up = 5;     // first captures: file creation, cold caches
constexpr int lock_repeats = 9;
constexpr int miss_attempts = 15;
constexpr int watch_windows = 6;  // six windows of five seconds: 30 s of watching
constexpr int watch_window_s = 5;
constexpr int idle_windows = 3;  // three windows of three seconds per desktop and path
constexpr int idle_window_s = 3;
constexpr int lock_time_repeats = 5;
constexpr int fifty_misses_repeats = 3;
constexpr int64_t game_shows_after_ms = 1500;  // of locating on the still desktop
constexpr uint64_t game_seed = 3;              // 27 pitches in one inning, 2 minutes of game time
constexpr const char* live_game_seed = "5";    // 17 pitches in one inning, 85 s

double ms_since(clock_type::time_point start) {
  return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// ---- child processes -------------------------------------------------------

// Starts `argv` in `dir` with standard input, output and error on /dev/null.
pid_t spawn(const fs::path& dir, const std::vector<std::string>& argv) {
  return practice::start_process({.argv = argv, .dir = dir});
}

void stop(pid_t pid) {
  practice::stop_process(pid);
}

// User + system time of a running process, in ms, from its own accounting.
double process_cpu_ms(pid_t pid) {
  const std::string text = practice::read_file("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = text.rfind(')');  // the command name may hold spaces
  if (close == std::string::npos) return -1.0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stod(field);
    if (i == 15) stime = std::stod(field);
  }
  return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Peak resident memory of a running process, in MB.
double process_peak_mb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0.0;
}

// CPU share (percent of one core) of `pid` in each of `windows` windows of
// `seconds` of wall time.
std::vector<double> cpu_shares(pid_t pid, int windows, int seconds) {
  std::vector<double> shares;
  for (int i = 0; i < windows; ++i) {
    const double cpu0 = process_cpu_ms(pid);
    const auto start = clock_type::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu1 = process_cpu_ms(pid);
    const double wall = ms_since(start);
    if (cpu0 < 0 || cpu1 < 0) break;  // the process is gone
    shares.push_back(100.0 * (cpu1 - cpu0) / wall);
  }
  return shares;
}

// A working folder with the reference pictures pitchlog loads.
fs::path make_work_dir(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("pitchlog-figures-" + std::to_string(getpid())) / name;
  fs::create_directories(dir);
  fs::create_directory_symlink(fs::path(PITCHLOG_SOURCE_DIR) / "data", dir / "data");
  return dir;
}

// ---- figures ---------------------------------------------------------------

// Thread CPU time (user + system) of each step of one watching capture, in
// ms, one entry per capture, and the wall time of the whole cycle.
struct capture_steps {
  std::vector<double> grab;     // frame_source::grab from grab_x11_screen: fetch and conversion
  std::vector<double> write;    // the rest of capture_screen before its pause: "capture.bmp"
  std::vector<double> load;     // as_stored_load("capture.bmp"): imread flag 6
  std::vector<double> scene;    // scene_pass in the versus view, count already read
  std::vector<double> matches;  // the pass's three cv::matchTemplate calls alone
  std::vector<double> whole;    // capture_screen + load + scene pass
  std::vector<double> cycle;    // wall time of the same, 60 ms pause included
};

struct figures {
  double capture_ms = 0, reference_ms = 0;
  double wine_capture_ms = -1;  // negative: not measured, for the reason in wine_note
  std::string wine_note;
  std::vector<double> versus_share;
  capture_steps steps;
  double versus_peak_mb = 0;
  double lock_ms = 0, miss_ms = 0;
  // CPU share while the game picture is absent, per painted desktop.
  struct idle_row {
    const char* name;
    std::string command;  // to bench_desktop_painter
    double pitchlog = 0, compare_only = 0, full_search = 0;
  };
  std::vector<idle_row> idle;
  std::vector<double> appear_to_lock_reuse, appear_to_lock_full;
  std::vector<double> hidden_to_fifty_reuse, hidden_to_fifty_full;
  std::vector<double> analysis_ms;
  int pitches_thrown = 0;
  double game_peak_mb = 0;
  int live_pitches = 0, live_reports = 0;
  double live_share = 0;
};

// The file of the plain writer the capture path is measured against, a
// file of its own: truncating "capture.bmp" would take from the capture path
// the blocks and page cache it overwrites in place.
constexpr const char* reference_file_name = "reference.bmp";

// capture_screen without its pause plus the load, against XGetImage, a
// truncating write and the same load; each path in its own block of single
// captures, so that neither evicts the other's buffers from the caches.
bool measure_capture(figures& f) {
  std::ostream quiet(nullptr);
  x11_grab shared{.error = &quiet};
  x11_grab plain{.error = &quiet, .preferred = x11_fetch::get_image};
  platform p;
  p.source.grab = [&](screen_grab& g) { return grab_x11_screen(shared, g); };
  const auto ours = [&] { return !capture_frame(p).empty(); };
  const auto reference = [&] {
    screen_grab grab;
    return grab_x11_screen(plain, grab) && bench::write_truncating(grab, reference_file_name) &&
           !as_stored_load(reference_file_name).empty();
  };
  const auto median_of = [](auto step, double& result) {
    std::vector<double> times;
    for (int i = 0; i <= capture_repeats; ++i) {
      const auto start = clock_type::now();
      if (!step()) return false;
      if (i > 0) times.push_back(ms_since(start));  // the first one warms up
    }
    result = median(times);
    return true;
  };
  return median_of(ours, f.capture_ms) && median_of(reference, f.reference_ms) &&
         x11_grabber_fetch(*shared.grabber) == x11_fetch::shared_memory;
}

// Runs `argv` in the working folder with `env` added, its standard output
// into `out`; its exit code, or -1 when it did not end within `seconds`.
int run_with_env(const std::vector<std::string>& argv,
                 const std::vector<std::pair<std::string, std::string>>& env, const fs::path& out,
                 int seconds) {
  const std::optional<int> status = practice::run_process(
      {.argv = argv, .env = env, .output = out, .errors = "/dev/null", .own_group = true},
      std::chrono::seconds(seconds));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// capture-overhead.exe under Wine on this process's display, in a Wine prefix
// of its own beside this tool (built at the first run, in about 10 s).
void measure_wine_capture(figures& f, const fs::path& tools) {
  const std::string exe = PITCHLOG_CAPTURE_OVERHEAD_EXE;
  if (!fs::exists(exe)) {
    f.wine_note = "not measured: run scripts/windows";
    return;
  }
  if (std::string(PITCHLOG_WINE).empty()) {
    f.wine_note = "not measured: no Wine";
    return;
  }
  const fs::path prefix = tools / "wine-prefix-bench";
  const std::vector<std::pair<std::string, std::string>> env = {
      {"WINEPREFIX", prefix.string()},
      {"WINEDEBUG", "-all"},
      {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
  if (!fs::exists(prefix / "system.reg") &&
      run_with_env({PITCHLOG_WINE, "wineboot", "-i"}, env, "/dev/null", 300) != 0) {
    f.wine_note = "not measured: wineboot failed";
    return;
  }
  const int code = run_with_env({PITCHLOG_WINE, exe}, env, "wine-capture.txt", 300);
  double ms = -1;
  std::ifstream("wine-capture.txt") >> ms;
  run_with_env({PITCHLOG_WINESERVER, "-k"}, env, "/dev/null", 30);
  if (code != 0 || ms <= 0) {
    f.wine_note = "not measured: capture-overhead.exe failed";
    return;
  }
  f.wine_capture_ms = ms;
}

// Whole locating attempts on the live desktop, pauses skipped: with the game
// shown each call locks (two captures, the coarse and fine searches, and the
// one play-ball check); with it absent each attempt misses, and the grab that
// follows the last counted one fails so that the locator returns.
double measure_locating(const template_set& templates, int repeats, int grabs_per_run,
                        attempt_reuse reuse = attempt_reuse::known_results) {
  std::ostream quiet(nullptr);
  x11_grab grabber{.error = &quiet};
  int grabs_left = 0;
  platform p;
  p.source.grab = [&](screen_grab& g) {
    if (grabs_per_run > 0 && grabs_left-- <= 0) return false;
    return grab_x11_screen(grabber, g);
  };
  std::vector<double> times;
  for (int i = 0; i <= repeats; ++i) {
    locator_state locator;
    grabs_left = grabs_per_run;
    const auto start = clock_type::now();
    locate_game_area(p, templates, locator, reuse);
    const double t = ms_since(start) / (grabs_per_run > 0 ? grabs_per_run : 1);
    if (i > 0) times.push_back(t);
  }
  return median(times);
}

// CPU time of the calling thread so far, in ms; pauses and waits cost nothing here.
double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The matches a watching pass makes (versus ground, then both finish poses),
// as bare cv::matchTemplate calls, each into its own score map.
void bare_matches(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                  std::array<cv::Mat, 3>& scores) {
  const auto match = [&](check_id id, cv::Mat& map) {
    const template_check& c = check_of(id);
    cv::matchTemplate(frame(check_region(c, origin, {})), templates[c.id], map,
                      cv::TM_CCOEFF_NORMED);
  };
  match(check_id::versus_ground, scores[0]);
  match(check_id::finish_pose_right, scores[1]);
  match(check_id::finish_pose_left, scores[2]);
}

// Watching captures the way pitchlog's scene loop takes them (real grab, real
// 60 ms pause, load, scene pass), each step timed in this thread's CPU time.
// The game must show the versus view without a pitch throughout; false when
// the game cannot be locked or a capture is anything else.
bool measure_capture_steps(const template_set& templates, capture_steps& s) {
  x11_grab grabber{.error = &std::cerr};
  const auto x11_grab = [&](screen_grab& g) { return grab_x11_screen(grabber, g); };
  double grab_start = 0, grab_end = 0, pause_start = 0;
  platform p;
  p.source.grab = [&](screen_grab& g) {
    grab_start = thread_cpu_ms();
    const bool ok = x11_grab(g);
    grab_end = thread_cpu_ms();
    return ok;
  };
  p.source.pause = [&](int milliseconds) {
    pause_start = thread_cpu_ms();
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };

  // The game origin from one lock, pauses skipped; a bounded number of grabs
  // so that a game not on the screen ends the attempt.
  int grabs_left = 50;
  platform locating = p;
  locating.source.grab = [&](screen_grab& g) { return grabs_left-- > 0 && x11_grab(g); };
  locating.source.pause = [](int) {};
  locator_state locator;
  if (locate_game_area(locating, templates, locator).outcome != locate_outcome::locked)
    return false;
  const cv::Point origin = locator.game_origin;

  scene_state watching{.count_checked = true};  // a watching pass: the count is read once per pitch
  std::array<cv::Mat, 3> scores;
  for (int i = 0; i < step_warm_up + step_captures; ++i) {
    const auto start = clock_type::now();
    const double cpu0 = thread_cpu_ms();
    capture_screen(p);
    const double cpu1 = thread_cpu_ms();
    const cv::Mat frame = as_stored_load(capture_file_name);
    const double cpu2 = thread_cpu_ms();
    if (frame.empty()) return false;
    const scene_action action = scene_pass(frame, templates, origin, watching).action;
    const double cpu3 = thread_cpu_ms();
    const double cycle = ms_since(start);
    bare_matches(frame, templates, origin, scores);
    const double cpu4 = thread_cpu_ms();
    // Only the versus view without a pitch is measured; anything else ends the run.
    double versus = 0;
    cv::minMaxLoc(scores[0], nullptr, &versus);
    if (!is_hit(versus, check_of(check_id::versus_ground).threshold) ||
        action != scene_action::keep_watching)
      return false;
    if (i < step_warm_up) continue;
    s.grab.push_back(grab_end - grab_start);
    s.write.push_back(pause_start - grab_end);
    s.load.push_back(cpu2 - cpu1);
    s.scene.push_back(cpu3 - cpu2);
    s.matches.push_back(cpu4 - cpu3);
    s.whole.push_back(cpu3 - cpu0);
    s.cycle.push_back(cycle);
  }
  return true;
}

// Records when each capture's pause starts and when each console line is
// flushed, to time the analysis from the last burst capture to the report.
struct event_log {
  struct event {
    bool flush;
    clock_type::time_point at;
  };
  std::vector<event> events;
};

class timed_console : public std::stringbuf {
 public:
  explicit timed_console(event_log& log) : log_(log) {}

 protected:
  int sync() override {
    log_.events.push_back({true, clock_type::now()});
    str({});
    return 0;
  }

 private:
  event_log& log_;
};

// Per report: from the start of the pause of the capture before it (frame 11;
// its load is counted in the analysis) to its last line.
std::vector<double> analysis_times(const event_log& log) {
  std::vector<double> times;
  clock_type::time_point last_capture{};
  for (size_t i = 0; i < log.events.size(); ++i) {
    if (!log.events[i].flush) {
      last_capture = log.events[i].at;
      continue;
    }
    size_t end = i;
    while (end + 1 < log.events.size() && log.events[end + 1].flush) ++end;
    times.push_back(
        std::chrono::duration<double, std::milli>(log.events[end].at - last_capture).count());
    i = end;
  }
  return times;
}

// The child's part: a whole practice game at 1920 x 1080 on the in-process
// desktop, in virtual time; prints the number of pitches thrown, then the
// analysis time of every reported pitch.
int run_practice_game() {
  cv::setNumThreads(opencv_threads);
  const fs::path dir = make_work_dir("game");
  fs::current_path(dir);
  practice::scenario game = practice::generate_scenario(game_seed, 1);
  game.desktop.width = 1920;
  game.desktop.height = 1080;
  practice::finish_scenario(game);
  const size_t thrown = practice::truth_of(game).size();
  practice::desktop desk = practice::make_desktop(std::move(game));
  event_log log;
  platform p;
  practice::connect_platform(desk, p);
  p.source.pause = [&](int milliseconds) {
    if (milliseconds > 0) log.events.push_back({false, clock_type::now()});
    practice::pause_desktop(desk, milliseconds);
  };
  timed_console console_buffer(log);
  std::ostream console(&console_buffer);
  p.console = &console;
  p.error = &std::cerr;
  run_pitchlog(p);
  std::cout << thrown;
  for (double t : analysis_times(log)) std::cout << ' ' << t;
  std::cout << std::endl;
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir.parent_path());
  return 0;
}

// Runs the practice game in a child (so that its peak memory is its own).
bool measure_practice_game(figures& f) {
  const fs::path output = make_work_dir("practice-game") / "figures.txt";
  const std::optional<int> status = practice::run_process(
      {.argv = {"/proc/self/exe", "--practice-game"}, .output = output}, std::chrono::minutes(30));
  const std::string text = practice::read_file(output);
  fs::remove_all(output.parent_path());
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return false;
  std::istringstream in(text);
  in >> f.pitches_thrown;
  for (double t; in >> t;) f.analysis_ms.push_back(t);
  return !f.analysis_ms.empty();
}

int count_lines(const fs::path& path) {
  std::ifstream in(path);
  int n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

// Reports in text.txt: each ends with four empty lines after its last text line.
int count_reports(const fs::path& path) {
  const std::string text = practice::read_file(path);
  int n = 0;
  for (size_t at = text.find("\n\n\n\n\n"); at != std::string::npos;
       at = text.find("\n\n\n\n\n", at + 5))
    ++n;
  return n;
}

// A whole practice game in real time on the Xvfb, watched by a real pitchlog:
// its peak resident memory, its CPU share over the game, and its reports
// against the pitches thrown.
bool measure_live_game(figures& f, const fs::path& tools) {
  const fs::path dir = make_work_dir("live");
  const pid_t game =
      spawn(dir, {(tools / "practice-game").string(), "play", "--seed", live_game_seed, "--innings",
                  "1", "--truth", (dir / "truth.log").string()});
  const pid_t watcher = spawn(dir, {(tools / "pitchlog").string()});
  const auto start = clock_type::now();
  const double cpu0 = process_cpu_ms(watcher);
  waitpid(game, nullptr, 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the last report
  f.live_share = 100.0 * (process_cpu_ms(watcher) - cpu0) / ms_since(start);
  f.game_peak_mb = process_peak_mb(watcher);
  stop(watcher);
  f.live_pitches = count_lines(dir / "truth.log");
  f.live_reports = count_reports(dir / "text.txt");
  return f.game_peak_mb > 0;
}

// ---- the game picture absent ------------------------------------------------

// The child's part: locating stages on the display, as pitchlog runs them,
// for ever: "none" is today's path, "compare" reuse without change reports.
int run_locating(const std::string& mode) {
  cv::setNumThreads(opencv_threads);
  template_set templates;
  if (!load_template_set(templates)) return 1;
  platform p = desktop_platform(std::cout, std::cerr);
  if (mode == "compare") p.source.unchanged = [] { return false; };
  const attempt_reuse reuse = mode == "none" ? attempt_reuse::none : attempt_reuse::known_results;
  locator_state locator;
  while (locate_game_area(p, templates, locator, reuse).outcome == locate_outcome::locked) {
  }
  return 0;
}

int64_t monotonic_ns() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// bench_desktop_painter as a child: one command a line, one answer a line.
struct painter_process {
  pid_t pid = -1;
  FILE* to = nullptr;
  FILE* from = nullptr;

  bool start(const fs::path& tool) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return false;
    pid = fork();
    if (pid == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      close(in[1]);
      close(out[0]);
      execl(tool.c_str(), tool.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to = fdopen(in[1], "w");
    from = fdopen(out[0], "r");
    return answer() > 0;  // the wallpaper is up
  }
  // The CLOCK_MONOTONIC time (ns) at which the server had drawn the last
  // command; -1 when the painter refused it or is gone.
  int64_t answer() {
    char word[8] = {};
    long long at = -1;
    if (std::fscanf(from, "%7s %lld", word, &at) != 2 || std::string(word) != "ok") return -1;
    return at;
  }
  int64_t send(const std::string& command) {
    std::fprintf(to, "%s\n", command.c_str());
    std::fflush(to);
    return answer();
  }
  ~painter_process() {
    if (to != nullptr) std::fclose(to);  // end of input: the painter ends
    if (from != nullptr) std::fclose(from);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
};

// The game picture as the painter reads it: "W H\n", then BGR rows.
bool write_raw_picture(const cv::Mat& picture, const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  out << picture.cols << ' ' << picture.rows << '\n';
  for (int y = 0; y < picture.rows; ++y)
    out.write(picture.ptr<char>(y), static_cast<std::streamsize>(picture.cols) * 3);
  return static_cast<bool>(out);
}

// Median CPU share of a process started on the current desktop.
double idle_share(const fs::path& work, const std::vector<std::string>& argv) {
  const pid_t pid = spawn(work, argv);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // start-up and the first full search
  const double share = median(cpu_shares(pid, idle_windows, idle_window_s));
  stop(pid);
  return share;
}

// A locating stage on the still desktop without the game, as pitchlog enters
// it when the game goes: the time to its fiftieth miss, after which the next
// lock empties the record (ms; negative when the stage ended before).
double hidden_to_fifty_misses(const template_set& templates, attempt_reuse reuse) {
  std::ostream quiet(nullptr);
  platform p = desktop_platform(quiet, std::cerr);
  capture_screen(p);  // the grab in use, as the scene loop leaves it
  locator_state locator;
  const int64_t start = monotonic_ns();
  int64_t fiftieth = -1;
  // Asked at the start of every attempt: the stage ends at the fiftieth miss.
  const auto counting = [&] {
    if (fiftieth < 0 && locator.locator_miss_count == locator_miss_limit) fiftieth = monotonic_ns();
    return fiftieth < 0;
  };
  const auto grab = p.source.grab;
  p.source.grab = [&](screen_grab& g) { return counting() && grab(g); };
  const auto unchanged = p.source.unchanged;
  p.source.unchanged = [&] { return counting() && unchanged(); };
  locate_game_area(p, templates, locator, reuse);
  return fiftieth < 0 ? -1.0 : static_cast<double>(fiftieth - start) / 1e6;
}

bool measure_idle(figures& f, const fs::path& tools, const fs::path& work,
                  const template_set& templates) {
  painter_process painter;
  if (!painter.start(tools / "bench_desktop_painter")) return false;
  f.idle = {{"still desktop", "still"},
            {"a clock ticking each second", "clock"},
            {"480 x 270 video, bottom-right corner", "video 1440 810"},
            {"480 x 270 video, centre of the screen", "video 720 405"}};
  for (figures::idle_row& row : f.idle) {
    std::cerr << "bench_figures: the game picture absent, " << row.name << "..." << std::endl;
    if (painter.send(row.command) < 0) return false;
    row.pitchlog = idle_share(work, {(tools / "pitchlog").string()});
    row.compare_only =
        idle_share(work, {(tools / "bench_figures").string(), "--locate", "compare"});
    row.full_search = idle_share(work, {(tools / "bench_figures").string(), "--locate", "none"});
  }

  std::cerr << "bench_figures: the game picture appearing, " << lock_time_repeats
            << " times each way..." << std::endl;
  const fs::path picture = work / "game.raw";
  if (painter.send("still") < 0 || !write_raw_picture(templates[template_id::game_area], picture))
    return false;
  std::ostream quiet(nullptr);
  for (int i = 0; i < lock_time_repeats; ++i) {
    for (const attempt_reuse reuse : {attempt_reuse::known_results, attempt_reuse::none}) {
      if (painter.send("hide") < 0) return false;
      int64_t shown = -1;
      std::thread show([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(game_shows_after_ms));
        shown = painter.send("game 600 300 " + picture.string());
      });
      const platform p = desktop_platform(quiet, std::cerr);
      locator_state locator;
      const lock_result lock = locate_game_area(p, templates, locator, reuse);
      const int64_t locked = monotonic_ns();
      show.join();
      if (lock.outcome != locate_outcome::locked || shown < 0) return false;
      (reuse == attempt_reuse::none ? f.appear_to_lock_full : f.appear_to_lock_reuse)
          .push_back(static_cast<double>(locked - shown) / 1e6);
    }
  }

  std::cerr << "bench_figures: the game picture hidden until fifty misses, " << fifty_misses_repeats
            << " times each way..." << std::endl;
  if (painter.send("hide") < 0) return false;
  for (int i = 0; i < fifty_misses_repeats; ++i) {
    for (const attempt_reuse reuse : {attempt_reuse::known_results, attempt_reuse::none}) {
      const double ms = hidden_to_fifty_misses(templates, reuse);
      if (ms < 0) return false;
      (reuse == attempt_reuse::none ? f.hidden_to_fifty_full : f.hidden_to_fifty_reuse)
          .push_back(ms);
    }
  }
  return true;
}

// ---- the table -------------------------------------------------------------

void row(const char* name, const std::string& value, const std::string& reference,
         const std::string& target, const char* verdict) {
  std::printf("%-46s %-18s %-12s %-26s %s\n", name, value.c_str(), reference.c_str(),
              target.c_str(), verdict);
}

std::string fixed(double v, const char* unit, int digits = 1) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f %s", digits, v, unit);
  return buffer;
}

const char* pass(bool ok) {
  return ok ? "PASS" : "FAIL";
}

// Where one watching capture's CPU goes: each step's median in ms per capture
// and the share of one core it takes at the median cycle length.
void print_capture_steps(const capture_steps& s) {
  if (s.cycle.empty()) return;
  const double cycle = median(s.cycle);
  const auto step = [&](const char* name, double ms, const char* note) {
    row(name, fixed(ms, "ms", 2), fixed(100.0 * ms / cycle, "%"), note, "");
  };
  std::printf(
      "\nwhere one watching capture's CPU goes, versus view without a pitch: this\n"
      "thread's CPU time, median of %zu captures, one capture every %.1f ms\n\n",
      s.cycle.size(), cycle);
  row("step", "ms per capture", "core share", "", "");
  step("grab and conversion (grab_x11_screen)", median(s.grab), "");
  step("write \"capture.bmp\" (rest of capture_screen)", median(s.write), "");
  step("load (as_stored_load, imread flag 6)", median(s.load), "");
  step("scene pass (3 matches, count read before)", median(s.scene), "");
  step("  of which the 3 matchTemplate calls alone", median(s.matches), "");
  step("whole capture (capture_screen, load, pass)", median(s.whole), "");
  step("library calls alone (imread + matchTemplate)", median(s.load) + median(s.matches),
       "the floor of the share");
}

// The game picture absent: each desktop's CPU share by pitchlog, beside the
// same reuse without change reports and beside today's path; and the time
// from the game appearing to the lock. True when the targets are met.
bool print_idle(const figures& f) {
  if (f.idle.empty()) return false;
  std::printf(
      "\nthe game picture absent: CPU share of one core, median of %d windows of %d s\n"
      "(pitchlog: reuse with the server's change reports; compare only: reuse, every attempt\n"
      "capturing; today: a full search at every attempt)\n\n",
      idle_windows, idle_window_s);
  std::printf("%-40s %-10s %-14s %-10s %s\n", "desktop", "pitchlog", "compare only", "today",
              "target");
  for (const figures::idle_row& r : f.idle) {
    const bool still = &r == &f.idle.front();
    std::printf("%-40s %-10s %-14s %-10s %s\n", r.name, fixed(r.pitchlog, "%").c_str(),
                fixed(r.compare_only, "%").c_str(), fixed(r.full_search, "%").c_str(),
                still ? (r.pitchlog <= 5.0 ? "<= 5 %  PASS" : "<= 5 %  FAIL") : "report");
  }
  const double reuse = median(f.appear_to_lock_reuse), full = median(f.appear_to_lock_full);
  const bool lock_ok = !f.appear_to_lock_reuse.empty() && reuse <= full;
  std::printf("%-40s %-10s %-14s %-10s %s\n", "game appearing to the lock (median of 5)",
              fixed(reuse, "ms", 0).c_str(), "", fixed(full, "ms", 0).c_str(),
              lock_ok ? "no worse  PASS" : "no worse  FAIL");
  std::printf("%-40s %-10s %-14s %-10s %s\n", "game hidden to fifty misses (median of 3)",
              fixed(median(f.hidden_to_fifty_reuse), "ms", 0).c_str(), "",
              fixed(median(f.hidden_to_fifty_full), "ms", 0).c_str(), "report");
  return f.idle.front().pitchlog <= 5.0 && lock_ok;
}

bool print_table(const figures& f, const std::string& load_before) {
  const double versus = median(f.versus_share);
  const double analysis = median(f.analysis_ms);
  const double worst =
      f.analysis_ms.empty() ? 0.0 : *std::max_element(f.analysis_ms.begin(), f.analysis_ms.end());
  const bool capture_ok = f.capture_ms <= 5.0 && f.capture_ms * 4.0 <= f.reference_ms;
  const bool versus_ok = !f.versus_share.empty() && versus <= 8.0;
  const bool analysis_ok = !f.analysis_ms.empty() && analysis <= 60.0;
  const bool memory_ok = f.game_peak_mb > 0 && f.game_peak_mb <= 150.0;

  std::printf("\npitchlog figures, 1920 x 1080 on Xvfb, OpenCV threads %d\n", opencv_threads);
  std::printf("load average: %s before, %s after\n\n", load_before.c_str(), load_average().c_str());
  row("figure", "value", "reference", "target", "");
  row("capture overhead beyond the pause (median)", fixed(f.capture_ms, "ms", 2),
      fixed(f.reference_ms, "ms", 2), "<= 5 ms, >= 4x below ref", pass(capture_ok));
  if (f.wine_capture_ms > 0) {
    row("capture overhead, pitchlog.exe under Wine", fixed(f.wine_capture_ms, "ms", 2),
        fixed(f.capture_ms, "ms", 2), "for the record", "");
  } else {
    row("capture overhead, pitchlog.exe under Wine", f.wine_note, "", "for the record", "");
  }
  row("CPU share, versus view without a pitch", fixed(versus, "%"), "", "<= 8 %", pass(versus_ok));
  row("locating attempt that locks (median)", fixed(f.lock_ms, "ms"), "", "report", "");
  row("locating attempt that misses (full search)", fixed(f.miss_ms, "ms"), "", "report", "");
  const std::string pitches = std::to_string(f.analysis_ms.size()) + " of " +
                              std::to_string(f.pitches_thrown) + " pitches reported";
  row("per-pitch analysis, median", fixed(analysis, "ms"), "", "<= 60 ms", pass(analysis_ok));
  row("per-pitch analysis, worst", fixed(worst, "ms"), "", pitches, "");
  row("peak resident memory, whole practice game", fixed(f.game_peak_mb, "MB"), "", "<= 150 MB",
      pass(memory_ok));
  const std::string live =
      std::to_string(f.live_reports) + " reports, " + std::to_string(f.live_pitches) + " pitches";
  row("CPU share over that game (pitchlog)", fixed(f.live_share, "%"), "", live, "");
  row("peak resident memory, watching (pitchlog)", fixed(f.versus_peak_mb, "MB"), "", "report", "");
  const bool idle_ok = print_idle(f);
  print_capture_steps(f.steps);
  return capture_ok && versus_ok && analysis_ok && memory_ok && idle_ok;
}

int measure_all(bool idle_only) {
  cv::setNumThreads(opencv_threads);
  const std::string load_before = load_average();
  const fs::path tools = fs::canonical("/proc/self/exe").parent_path();
  figures f;

  // The practice game first, before any server or child is running.
  std::cerr << "bench_figures: a whole practice game in virtual time..." << std::endl;
  if (!idle_only && !measure_practice_game(f)) {
    std::cerr << "bench_figures: the practice game run failed\n";
    return 1;
  }

  practice::xvfb server(1920, 1080);
  if (server.display().empty()) {
    std::cerr << "bench_figures: " << server.failure() << "\n";
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  const fs::path work = make_work_dir("watch");
  fs::current_path(work);

  template_set templates;
  if (!load_template_set(templates)) {
    std::cerr << "bench_figures: cannot load the reference pictures\n";
    return 1;
  }
  if (idle_only) {
    const bool ok = measure_idle(f, tools, work, templates);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work.parent_path());
    std::printf("load average: %s before, %s after\n", load_before.c_str(), load_average().c_str());
    return ok && print_idle(f) ? 0 : 2;
  }

  std::cerr << "bench_figures: capture overhead..." << std::endl;
  if (!measure_capture(f)) {
    std::cerr << "bench_figures: no MIT-SHM grab of " << server.display() << "\n";
    return 1;
  }

  std::cerr << "bench_figures: capture overhead of pitchlog.exe under Wine..." << std::endl;
  measure_wine_capture(f, tools);

  // The versus view with no pitch, for longer than everything below takes.
  {
    std::ofstream("versus.json") << R"({"desktop": {"game_x": 600, "game_y": 300},
               "timeline": [{"screen": "versus", "ms": 600000}]})";
  }
  const pid_t game = spawn(work, {(tools / "practice-game").string(), "play", "--scenario",
                                  (work / "versus.json").string()});
  std::this_thread::sleep_for(std::chrono::seconds(1));

  std::cerr << "bench_figures: locating attempts..." << std::endl;
  f.lock_ms = measure_locating(templates, lock_repeats, 0);

  std::cerr << "bench_figures: where one watching capture's CPU goes (" << step_captures
            << " captures)..." << std::endl;
  if (!measure_capture_steps(templates, f.steps)) {
    std::cerr << "bench_figures: the versus view could not be watched step by step\n";
    f.steps = capture_steps{};
  }

  std::cerr << "bench_figures: pitchlog watching the versus view for "
            << watch_windows * watch_window_s << " s..." << std::endl;
  const pid_t watcher = spawn(work, {(tools / "pitchlog").string()});
  std::this_thread::sleep_for(std::chrono::seconds(3));  // start-up and the lock
  f.versus_share = cpu_shares(watcher, watch_windows, watch_window_s);
  f.versus_peak_mb = process_peak_mb(watcher);
  stop(watcher);
  stop(game);

  std::cerr << "bench_figures: the game picture absent..." << std::endl;
  f.miss_ms = measure_locating(templates, 3, miss_attempts, attempt_reuse::none);
  if (!measure_idle(f, tools, work, templates))
    std::cerr << "bench_figures: the absent-game figures failed\n";

  std::cerr << "bench_figures: pitchlog watching a whole practice game (85 s)..." << std::endl;
  if (!measure_live_game(f, tools)) std::cerr << "bench_figures: the live game run failed\n";

  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work.parent_path());
  return print_table(f, load_before) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--practice-game") return run_practice_game();
  if (argc == 3 && std::string(argv[1]) == "--locate") return run_locating(argv[2]);
  return measure_all(argc == 2 && std::string(argv[1]) == "--idle");
}
