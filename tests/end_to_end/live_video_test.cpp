// build/pitchlog --video watching a recorded practice game that ffmpeg streams
// to a local UDP port at its own pace, as a recorder streams a game: the
// reports against the truth log, and a stream stopped mid-game.
//
// The watcher captures in real time here. Its capture period (the newest
// frame taken, capture.bmp written, the 60 ms pause) is measured on a test
// stream first and the game streamed slower by its ratio to the period a
// replay models, so that a burst spans as much game time as in a replay of
// the same recording, however busy the machine.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "control/capture/capture_frame.h"
#include "control/capture/live_video.h"
#include "control/capture/video/video_desktop.h"
#include "practice/expected_report.h"
#include "practice/process.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string bin = PITCHLOG_BINARY_DIR;

// A UDP port nobody uses now.
int free_udp_port() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  const bool named = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                     getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
  close(s);
  return named ? ntohs(a.sin_port) : -1;
}

// True once a socket is bound to the UDP port (someone listens there).
bool udp_port_bound(int port) {
  char hex[16];
  std::snprintf(hex, sizeof hex, ":%04X ", port);
  return practice::read_file("/proc/net/udp").find(hex) != std::string::npos;
}

std::string address(int port) {
  return "udp://127.0.0.1:" + std::to_string(port);
}

// ffmpeg streaming `input` (its arguments) to the port at its own pace, RGB
// H.264 without loss in MPEG-TS, as a recorder streams.
pid_t stream_to(int port, const fs::path& dir, std::vector<std::string> input, double slow) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-re"};
  argv.insert(argv.end(), input.begin(), input.end());
  char setpts[48];
  std::snprintf(setpts, sizeof setpts, "setpts=%.3f*PTS", slow);
  argv.insert(argv.end(), {"-vf", setpts, "-c:v", "libx264rgb", "-qp", "0", "-preset", "ultrafast",
                           "-g", "15", "-f", "mpegts", address(port) + "?pkt_size=1316"});
  return practice::start_process({.argv = argv, .dir = dir, .output = dir / "ffmpeg.txt"});
}

// The median capture period of the live source on a 720 x 480 test stream,
// and the period a replay models for that size: the game plays slower by their
// ratio (never faster).
double measured_pace(const fs::path& dir) {
  const int port = free_udp_port();
  pitchlog::platform p;
  p.source = pitchlog::make_live_video_source(address(port), pitchlog::discard_stream());
  const pid_t ffmpeg =
      stream_to(port, dir, {"-f", "lavfi", "-i", "testsrc=size=720x480:rate=30", "-t", "60"}, 1.0);
  std::string why;
  EXPECT_TRUE(p.source.open(why)) << why;
  std::vector<double> times;
  for (int i = 0; i <= 40 && times.size() < 40; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (pitchlog::capture_frame(p).empty()) break;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (i > 0) times.push_back(took.count());
  }
  practice::stop_process(ffmpeg);
  p.source.close();
  if (times.size() < 40) return 0;
  std::sort(times.begin(), times.end());
  const double live_ms = (times[19] + times[20]) / 2;
  const double model_ms = 60 + pitchlog::video_capture_cost_us(720, 480) / 1000.0;
  const double pace = std::clamp(live_ms / model_ms, 1.0, 10.0);
  std::printf(
      "[ pace     ] capture period %.1f ms live, %.1f ms in a replay: the game streams "
      "%.2f times slower\n",
      live_ms, model_ms, pace);
  return pace;
}

struct stream_case {
  const char* name;
  int stop_after_reports;  // the stream is stopped once text.txt holds this many; 0: never
};
void PrintTo(const stream_case& c, std::ostream* os) {
  *os << c.name;
}

class live_stream : public testing::TestWithParam<stream_case> {};

// Seed 6 cut after its seventh pitch: four pitches in the top half and three
// in the bottom, 43 s.
TEST_P(live_stream, reports_as_a_replay_does_and_ends_as_a_lost_screen) {
  const stream_case& c = GetParam();
  ASSERT_EQ(practice::run_process({.argv = {"ffmpeg", "-version"}}, seconds(30)), 0)
      << "ffmpeg is missing (scripts/setup installs it)";
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), dir.path() / "data");
  ASSERT_EQ(practice::run_process({.argv = {bin + "/practice-game", "record", "--seed", "6",
                                            "--innings", "1", "--pitches", "7", "--truth",
                                            "truth.jsonl", "--out", "game.mkv", "--codec", "ffv1"},
                                   .dir = dir.path()},
                                  seconds(600)),
            0);
  const double pace = measured_pace(dir.path());
  ASSERT_GT(pace, 0) << "the test stream gave no frames";

  const int port = free_udp_port();
  const pid_t watcher =
      practice::start_process({.argv = {bin + "/pitchlog", "--video", address(port)},
                               .dir = dir.path(),
                               .output = dir.path() / "console.txt",
                               .errors = dir.path() / "errors.txt"});
  ASSERT_TRUE(practice::wait_until([&] { return udp_port_bound(port); }, seconds(30)));
  const pid_t ffmpeg = stream_to(port, dir.path(), {"-i", "game.mkv"}, pace);

  const std::optional<std::string> header = practice::to_cp932("[後攻チームの投手の配球記録]");
  ASSERT_TRUE(header);
  const int game_s = static_cast<int>(43 * pace) + 60;
  if (c.stop_after_reports > 0) {
    EXPECT_TRUE(practice::wait_for_file(
        dir.path() / "text.txt",
        [&](const std::string& text) {
          return test_support::count_of(text, *header) >= c.stop_after_reports;
        },
        seconds(game_s)));
    practice::stop_process(ffmpeg, SIGKILL);
  } else {
    const std::optional<int> streamed = practice::wait_process(ffmpeg, seconds(game_s));
    if (!streamed) practice::stop_process(ffmpeg, SIGKILL);
    EXPECT_TRUE(streamed && WIFEXITED(*streamed) && WEXITSTATUS(*streamed) == 0)
        << practice::read_file(dir.path() / "ffmpeg.txt");
  }
  // The stream's end (FFmpeg's reader may see it as an end, or as no frame
  // for five seconds): the one line, then the lost screen's exit.
  const std::optional<int> status = practice::wait_process(watcher, seconds(60));
  if (!status) practice::stop_process(watcher, SIGKILL);
  ASSERT_TRUE(status && WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 255);
  const std::string errors = practice::read_file(dir.path() / "errors.txt");
  const std::string said = "pitchlog: " + address(port);
  const std::string kept = "; watching stops there, and the reports up to there are kept\n";
  EXPECT_TRUE(errors == said + " ended" + kept ||
              errors == said + " stalled: no frame for 5 s" + kept)
      << errors;

  const std::string text = practice::read_file(dir.path() / "text.txt");
  const int reports = test_support::count_of(text, *header);
  std::istringstream log(practice::read_file(dir.path() / "pitches.csv"));
  int rows = 0;
  for (std::string line; std::getline(log, line);) ++rows;
  EXPECT_EQ(rows, 1 + reports);  // a header, then a row per report
  if (c.stop_after_reports > 0) {
    EXPECT_GE(reports, c.stop_after_reports);
    EXPECT_TRUE(text.ends_with("\n\n\n\n"));  // the last report whole
    return;
  }
  std::vector<practice::truth_pitch> truth;
  std::istringstream lines(practice::read_file(dir.path() / "truth.jsonl"));
  for (std::string line, error; std::getline(lines, line);) {
    if (const std::optional<practice::truth_pitch> p = practice::parse_truth_line(line, error))
      truth.push_back(*p);
  }
  const practice::report_check check = practice::check_reports(truth, text);
  EXPECT_EQ(check.recorded, check.thrown);
  EXPECT_TRUE(check.identical) << check.first_difference;
}

INSTANTIATE_TEST_SUITE_P(streams, live_stream,
                         testing::Values(stream_case{"the whole game", 0},
                                         stream_case{"stopped after three pitches", 3}),
                         [](const auto& info) { return "case_" + std::to_string(info.index); });

}  // namespace
