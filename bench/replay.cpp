// bench_replay: how fast pitchlog-replay watches a recorded game, how much
// memory it takes, and where its time goes.
//
// Two H.264 recordings of the same seeded practice game (seed 3, five innings,
// about ten minutes; made with practice-game record into bench-replay/ beside
// this tool on the first run, reused afterwards): the game picture alone at
// 720 x 480, as a capture card records it, and a 1920 x 1080 desktop with the
// game at (601, 299). For each:
//   - build/pitchlog-replay as a process in a fresh working folder: wall time,
//     CPU time, peak resident memory, and the reports checked against the
//     truth log (every pitch recorded once and as thrown, text.txt equal to the
//     expected reports);
//   - the same replay in this process with the platform timed: the main
//     thread's CPU time spent decoding up to the clock (including the
//     conversion to 24-bit rows), writing "capture.bmp", handing the picture
//     over, and in the watcher itself (checks, locating, pitch analysis,
//     reports); the decoder's own threads; and what reading "capture.bmp" back,
//     as a live run does, would add (the median load of the file, times the
//     captures);
//   - the floor: every frame of the file decoded alone (no picture made), plus
//     the main thread's CPU time of the timed replay (converting the frames a
//     capture shows, capture.bmp, the watcher), spread over the machine's
//     cores: no replay can be faster, since decoding every frame and the
//     checks at every capture are both work it must do.
// Usage: bench_replay [--live-peak-mb MB]. The peak is compared with the live
// run's figure when given (scripts/bench passes bench_figures' own).
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "control/capture/screen_capture.h"
#include "control/capture/video/video_desktop.h"
#include "control/main_loop.h"
#include "control/templates/template_store.h"
#include "practice/expected_report.h"
#include "practice/scenario.h"

namespace fs = std::filesystem;
using namespace pitchlog;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr double speed_target_game = 10.0;    // times real time, 720 x 480
constexpr double speed_target_desktop = 3.0;  // times real time, 1920 x 1080
constexpr int load_repeats = 50;
constexpr double floor_share_target = 0.8;  // of the floor's speed

struct recording {
  const char* name;
  const char* file;  // in bench-replay/, with its truth log beside it (.jsonl)
  const char* record_arguments;
  double speed_target;
};

const recording recordings[] = {
    {"720x480 H.264, the game alone", "game-720x480.mp4", "", speed_target_game},
    {"1920x1080 H.264 desktop, game at (601, 299)", "desktop-1920x1080.mp4",
     " --size 1920x1080 --x 601 --y 299", speed_target_desktop},
};

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

double cpu_ms(clockid_t which) {
  timespec t{};
  clock_gettime(which, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A fresh working folder with the reference pictures.
fs::path make_work_dir(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("pitchlog-bench-replay-" + std::to_string(getpid())) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::create_directory_symlink(fs::path(PITCHLOG_SOURCE_DIR) / "data", dir / "data");
  return dir;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<practice::truth_pitch> read_truth(const fs::path& path) {
  std::vector<practice::truth_pitch> truth;
  std::istringstream lines(read_file(path));
  for (std::string line; std::getline(lines, line);) {
    std::string error;
    if (const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error))
      truth.push_back(*p);
  }
  return truth;
}

// Runs a shell command line; its exit status, or -1.
int shell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The recording and its truth log, made when missing.
bool ensure_recording(const fs::path& tools, const recording& r) {
  const fs::path video = tools / "bench-replay" / r.file;
  const fs::path truth = fs::path(video).replace_extension(".jsonl");
  if (fs::exists(video) && fs::exists(truth)) return true;
  fs::create_directories(video.parent_path());
  std::cerr << "bench_replay: recording " << r.name << " (several minutes, once)..." << std::endl;
  std::string line = "'";
  line += (tools / "practice-game").string();
  line += "' record --seed 3 --innings 5 --codec h264 --out '";
  line += video.string();
  line += "' --truth '";
  line += truth.string();
  line += "'";
  line += r.record_arguments;
  line += " >/dev/null";
  return shell(line) == 0;
}

// CPU time of decoding every frame of `video` and nothing else, in ms.
double decode_only_ms(const fs::path& video) {
  const double start = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
  video_reader reader;
  if (reader.open(video.string(), cv::CAP_FFMPEG)) {
    while (reader.grab()) {
    }
  }
  reader.release();
  return cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - start;
}

struct process_figures {
  int status = -1;
  double wall_s = 0, cpu_s = 0, peak_mb = 0;
  practice::report_check check;
};

// build/pitchlog-replay on the video, as a process of its own.
process_figures run_replay_process(const fs::path& tools, const fs::path& video) {
  process_figures f;
  const fs::path dir = make_work_dir("process");
  const auto start = clock_type::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "w", stdout) || !freopen("stderr.txt", "w", stderr)) _exit(127);
    execl((tools / "pitchlog-replay").c_str(), "pitchlog-replay", video.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  f.wall_s = std::chrono::duration<double>(clock_type::now() - start).count();
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  f.cpu_s = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec / 1e6;
  f.peak_mb = usage.ru_maxrss / 1024.0;
  f.check = practice::check_reports(read_truth(fs::path(video).replace_extension(".jsonl")),
                                    read_file(dir / "text.txt"));
  return f;
}

// CPU time of the replay's parts, in ms over the whole video.
struct time_split {
  double decode = 0;    // grab: taking frames up to the clock, converting the shown one
  double write = 0;     // capture.bmp, from the end of the grab to the pause
  double handover = 0;  // the picture of the grab handed to the watcher
  double watcher = 0;   // everything else on the main thread
  double decoder_threads = 0;
  double file_load = 0;    // what reading capture.bmp back would add
  double decode_only = 0;  // every frame decoded alone, no picture made
  int captures = 0;
  double video_s = 0;
};

// The floor's wall time in seconds: decoding every frame and the main thread's
// work, over the machine's cores.
double floor_s(const time_split& s) {
  const double cores = std::max(1u, std::thread::hardware_concurrency());
  return (s.decode_only + s.decode + s.write + s.handover + s.watcher) / 1000.0 / cores;
}

// The whole replay in this process, the platform timed step by step.
time_split split_replay(const fs::path& video) {
  time_split s;
  const fs::path dir = make_work_dir("split");
  fs::current_path(dir);
  video_desktop v;
  std::string error;
  if (!open_video_desktop(v, video.string(), error)) {
    std::cerr << "bench_replay: " << error << std::endl;
    return s;
  }
  platform p;
  connect_video_platform(v, p);
  std::ostream quiet(nullptr);
  p.console = &quiet;
  p.error = &quiet;
  p.show_image = [](const std::string&, const cv::Mat&) {};
  p.wait_key = [] {};
  p.read_char = [] {};

  double last = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
  const auto charge = [&last](double& to) {
    const double now = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
    to += now - last;
    last = now;
  };
  p.source.grab = [&](screen_grab& grab) {
    charge(s.watcher);
    const bool grabbed = grab_video(v, grab);
    charge(s.decode);
    if (grabbed) ++s.captures;
    return grabbed;
  };
  p.source.pause = [&](int ms) {
    charge(ms > 0 ? s.write : s.watcher);
    pause_video(v, ms);
  };
  p.source.grabbed_image = [&](cv::Mat& picture) {
    charge(s.watcher);
    picture = grabbed_video_image(v);
    charge(s.handover);
    return !picture.empty();
  };

  const double process0 = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
  const double thread0 = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
  run_pitchlog(p);
  charge(s.watcher);
  s.decoder_threads =
      (cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - process0) - (cpu_ms(CLOCK_THREAD_CPUTIME_ID) - thread0);
  s.video_s = v.now_us / 1e6;

  // Reading the file back: a capture.bmp of this size, loaded as a live run does.
  std::vector<double> loads;
  cv::Mat frame(v.height, v.width, CV_8UC3, cv::Scalar(40, 80, 120));
  if (write_capture_bmp_top_down(v.width, v.height, frame.data) &&
      bmp_stride(v.width) == v.width * 3) {
    for (int i = 0; i < load_repeats; ++i) {
      const double start = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
      const cv::Mat loaded = as_stored_load(capture_file_name);
      loads.push_back(cpu_ms(CLOCK_THREAD_CPUTIME_ID) - start);
    }
  }
  s.file_load = median(loads) * s.captures;
  fs::current_path(fs::temp_directory_path());
  return s;
}

std::string fixed(double v, int digits = 1) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<double> live_peak_mb;
  if (argc == 3 && std::string(argv[1]) == "--live-peak-mb") live_peak_mb = std::atof(argv[2]);
  cv::setNumThreads(1);  // as in pitchlog-replay
  const fs::path tools = fs::canonical("/proc/self/exe").parent_path();
  const std::string load_before = load_average();
  bool all_met = true;

  std::vector<process_figures> runs;
  std::vector<time_split> splits;
  for (const recording& r : recordings) {
    if (!ensure_recording(tools, r)) {
      std::cerr << "bench_replay: cannot record " << r.file << std::endl;
      return 1;
    }
    const fs::path video = tools / "bench-replay" / r.file;
    std::cerr << "bench_replay: replaying " << r.name << "..." << std::endl;
    runs.push_back(run_replay_process(tools, video));
    std::cerr << "bench_replay: the same in this process, timed step by step..." << std::endl;
    splits.push_back(split_replay(video));
    std::cerr << "bench_replay: every frame decoded alone, for the floor..." << std::endl;
    splits.back().decode_only = decode_only_ms(video);
  }
  fs::remove_all(fs::temp_directory_path() / ("pitchlog-bench-replay-" + std::to_string(getpid())));

  std::printf(
      "\npitchlog-replay on ten minutes of recorded practice game (seed 3, five innings)\n");
  std::printf("load average: %s before, %s after\n\n", load_before.c_str(), load_average().c_str());
  std::printf("%-44s %8s %8s %8s %8s %9s %9s %9s %9s  %s\n", "recording", "video s", "wall s",
              "speed", "CPU s", "peak MB", "floor", "of floor", "target", "");
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const process_figures& f = runs[i];
    const double video_s = splits[i].video_s;
    const double speed = f.wall_s > 0 ? video_s / f.wall_s : 0;
    const double floor_speed = video_s / floor_s(splits[i]);
    const double of_floor = speed / floor_speed;
    const bool speed_ok =
        f.status == 0 && speed >= recordings[i].speed_target && of_floor >= floor_share_target;
    const bool memory_ok = !live_peak_mb || f.peak_mb <= *live_peak_mb;
    all_met = all_met && speed_ok && memory_ok;
    std::string target(">= ");
    target += fixed(recordings[i].speed_target, 0);
    target += "x, 80%";
    std::printf("%-44s %8.1f %8.1f %7.1fx %8.1f %9.1f %8.1fx %8.0f%% %9s   %s%s\n",
                recordings[i].name, video_s, f.wall_s, speed, f.cpu_s, f.peak_mb, floor_speed,
                100.0 * of_floor, target.c_str(), speed_ok ? "PASS" : "FAIL",
                live_peak_mb ? (memory_ok ? ", memory PASS" : ", memory FAIL") : "");
    std::printf("%-44s exit %d; pitches thrown %d, recorded %d, as thrown %d; text.txt %s\n", "",
                f.status, f.check.thrown, f.check.recorded, f.check.as_thrown,
                f.check.identical ? "equals the expected reports" : "differs");
  }
  if (live_peak_mb)
    std::printf("peak memory target: at most the live run's %.1f MB (bench_figures, 1920x1080)\n",
                *live_peak_mb);

  std::printf(
      "\nwhere the time goes: CPU ms per second of video (share of the replay's CPU time)\n\n");
  std::printf("%-52s", "part");
  for (const recording& r : recordings) std::printf(" %22.22s", r.file);
  std::printf("\n");
  const auto line = [&](const char* name, auto part) {
    std::printf("%-52s", name);
    for (const time_split& s : splits) {
      const double total = s.decode + s.write + s.handover + s.watcher + s.decoder_threads;
      const double value = part(s);
      std::printf(" %12s ms (%4.1f%%)", fixed(value / s.video_s).c_str(),
                  total > 0 ? 100.0 * value / total : 0.0);
    }
    std::printf("\n");
  };
  line("frames up to the clock, converted when shown (grab)",
       [](const time_split& s) { return s.decode; });
  line("decoder threads (decoding ahead)", [](const time_split& s) { return s.decoder_threads; });
  line("writing capture.bmp", [](const time_split& s) { return s.write; });
  line("handing the picture over in memory", [](const time_split& s) { return s.handover; });
  line("watcher: checks, locating, pitch analysis, reports",
       [](const time_split& s) { return s.watcher; });
  line("(reading capture.bmp back instead: would add)",
       [](const time_split& s) { return s.file_load; });
  line("(every frame decoded alone, for the floor)",
       [](const time_split& s) { return s.decode_only; });
  std::printf("%-52s", "captures per second of video");
  for (const time_split& s : splits) std::printf(" %22s", fixed(s.captures / s.video_s).c_str());
  std::printf("\n");
  return all_met ? 0 : 2;
}
