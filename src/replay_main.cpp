// pitchlog-replay FILE: the watcher of pitchlog run on a recorded video in
// place of the desktop, in the video's own time and as fast as the analysis
// allows. The working folder gets what a live run writes there; the progress
// goes to standard error.
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <io.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <system_error>

#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/clock_text.h"
#include "control/capture/platform.h"
#include "control/capture/video/video_desktop.h"
#include "control/main_loop.h"

namespace {

using pitchlog::video_desktop;
using wall_clock = std::chrono::steady_clock;

// Exit codes of the replay beside the watcher's own start-up codes (-1, 1).
constexpr int replayed_whole = 0;
constexpr int bad_input = 2;
constexpr int video_broke_off = 3;
constexpr int pitches_unread = 4;
constexpr int game_never_found = 5;

constexpr const char* usage = "usage: pitchlog-replay FILE\n";

bool is_terminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// The progress line: on a terminal one line redrawn in place a few times a
// second, elsewhere a plain line per minute of video.
struct progress_line {
  bool terminal = false;
  bool drawn = false;  // the terminal line is showing
  wall_clock::time_point start = wall_clock::now();
  wall_clock::time_point last_draw{};
  int64_t last_plain_ms = 0;
};

constexpr auto redraw_every = std::chrono::milliseconds(250);
constexpr int64_t plain_line_every_ms = 60'000;

std::string minutes_text(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000),
                static_cast<long long>(ms / 1000 % 60));
  return text;
}

// The scale the game picture was found at, when the video is brought from it.
std::string scale_text(const video_desktop& v) {
  if (v.to_reference == 1.0) return "";
  char text[64];
  std::snprintf(text, sizeof text, ", game picture at %.3gx its size", 1.0 / v.to_reference);
  return text;
}

// Found at another scale than its own (by more than a scaler's rounding), the
// game picture is brought to the reference pictures' scale from then on.
void apply_found_scale(video_desktop& v, double found_scale) {
  if (v.to_reference != 1.0 || found_scale == 0.0 || std::abs(found_scale - 1.0) <= 0.02) return;
  pitchlog::bring_video_to_reference_scale(v, found_scale);
}

std::string progress_text(const progress_line& line, const video_desktop& v, int pitches) {
  const int64_t done_ms = pitchlog::video_now_ms(v);
  const double wall_s = std::chrono::duration<double>(wall_clock::now() - line.start).count();
  char speed[32];
  std::snprintf(speed, sizeof speed, "%.1fx", wall_s > 0 ? done_ms / 1000.0 / wall_s : 0.0);
  return "pitchlog-replay: " + minutes_text(done_ms) + " of " +
         (v.declared_us > 0 ? minutes_text(v.declared_us / 1000) : std::string("?")) + " video, " +
         std::to_string(pitches) + (pitches == 1 ? " pitch" : " pitches") + " recorded, " + speed +
         " real time" + scale_text(v);
}

void clear_progress(progress_line& line) {
  if (!line.drawn) return;
  std::cerr << "\r\033[K" << std::flush;
  line.drawn = false;
}

void show_progress(progress_line& line, const video_desktop& v, int pitches) {
  const auto now = wall_clock::now();
  if (line.terminal) {
    if (now - line.last_draw < redraw_every) return;
    line.last_draw = now;
    std::cerr << "\r\033[K" << progress_text(line, v, pitches) << std::flush;
    line.drawn = true;
  } else if (pitchlog::video_now_ms(v) - line.last_plain_ms >= plain_line_every_ms) {
    line.last_plain_ms = pitchlog::video_now_ms(v);
    std::cerr << progress_text(line, v, pitches) << std::endl;
  }
}

// Standard output that first takes the progress line off the terminal, so
// that the reports never run into it.
class console_buffer : public std::streambuf {
 public:
  console_buffer(std::streambuf* to, std::function<void()> before)
      : to_(to), before_(std::move(before)) {}

 protected:
  int overflow(int c) override {
    before_();
    return c == traits_type::eof() ? traits_type::not_eof(c) : to_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    before_();
    return to_->sputn(s, n);
  }
  int sync() override { return to_->pubsync(); }

 private:
  std::streambuf* to_;
  std::function<void()> before_;
};

// The folder an unread pitch's burst goes to, named after the video time it
// was caught at ("unread_0-01-10.279"), made when its first picture comes, with
// one line saying so. Empty when it cannot be made.
std::string unread_burst_folder(progress_line& progress, const std::string& caught_at) {
  std::string folder = "unread_" + caught_at;
  std::replace(folder.begin(), folder.end(), ':', '-');
  std::error_code made;
  std::filesystem::create_directories(folder, made);
  clear_progress(progress);
  std::cerr << "pitchlog-replay: the inning half of the pitch at " << caught_at
            << " cannot be read; ";
  if (made) {
    std::cerr << "its burst cannot be kept (" << folder << ": " << made.message() << ")";
    folder.clear();
  } else {
    std::cerr << "its burst is in " << folder << "/";
  }
  std::cerr << ", and the replay goes on" << std::endl;
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]).empty() || argv[1][0] == '-') {
    std::cerr << usage;
    return bad_input;
  }
  // As in pitchlog: OpenCV on this thread alone, and no library chatter on
  // standard error, which carries the progress and the one-line reasons.
  cv::setNumThreads(1);
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  // FFmpeg's own messages: none unless asked for.
#ifdef _WIN32
  if (!std::getenv("OPENCV_FFMPEG_LOGLEVEL")) _putenv_s("OPENCV_FFMPEG_LOGLEVEL", "-8");
#else
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
  // Every capture and burst frame is a new picture of the whole desktop, freed
  // soon after: kept in the heap instead of being mapped and unmapped each
  // time, they cost no page faults (at 1920 x 1080 a third less CPU time, for
  // a few megabytes more at the peak).
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif

  video_desktop v;
  std::string error;
  if (!pitchlog::open_video_desktop(v, argv[1], error)) {
    std::cerr << "pitchlog-replay: " << error << std::endl;
    return bad_input;
  }

  const auto w = std::make_unique<pitchlog::watcher>();
  w->unread.go_on = true;
  w->locator.searches_scales = true;
  w->context.close_calls = pitchlog::replay_close_calls;
  progress_line progress;
  progress.terminal = is_terminal(stderr) && is_terminal(stdout);
  console_buffer console_to_stdout(std::cout.rdbuf(), [&progress] { clear_progress(progress); });
  std::ostream console(&console_to_stdout);

  pitchlog::platform p = pitchlog::console_platform(console, std::cerr);
  pitchlog::connect_video_platform(v, p);
  p.grab_screen = [&](pitchlog::screen_grab& grab) {
    apply_found_scale(v, w->locator.found_scale);
    const bool grabbed = pitchlog::grab_video(v, grab);
    show_progress(progress, v, w->pitch_log.pitches);
    return grabbed;
  };
  // Nobody sits at a replay: the start-up failure reads no key, and the burst of
  // a pitch that cannot be read goes to image files named after their windows,
  // in a folder of its own, while the replay goes on.
  p.read_char = [] {};
  std::string unread_folder;
  p.show_image = [&](const std::string& window, const cv::Mat& image) {
    if (window == pitchlog::inspection_windows[0])
      unread_folder = unread_burst_folder(progress, p.time_text(w->trigger.caught_at_us));
    if (!unread_folder.empty()) cv::imwrite(unread_folder + "/" + window + ".png", image);
  };
  p.wait_key = [] {};
  // A capture.bmp that cannot be written ends the replay (below): retried, the
  // video would run on unwatched.
  p.retries_unwritten_capture = false;

  const int code = pitchlog::run_watcher(*w, p);
  clear_progress(progress);
  progress.last_plain_ms = -plain_line_every_ms;
  progress.terminal = false;
  const int64_t stopped_ms = pitchlog::video_now_ms(v);
  if (v.grabs > 0) show_progress(progress, v, w->pitch_log.pitches);

  if (w->unread.count > 0) {
    std::cerr << "pitchlog-replay: " << w->unread.count
              << (w->unread.count == 1 ? " pitch" : " pitches")
              << " could not be read (inning half unknown); their bursts are in the unread_ "
                 "folders"
              << std::endl;
  }
  if (code == static_cast<int>(pitchlog::exit_code::report_file)) {
    std::cerr << "pitchlog-replay: text.txt cannot be opened for writing in the working folder"
              << std::endl;
    return code;
  }
  if (code != -1 || v.grabs == 0) return code;  // start-up: the watcher has said why
  if (!v.ended) {
    std::cerr << "pitchlog-replay: capture.bmp cannot be written or read back in the working "
                 "folder; stopped at "
              << pitchlog::video_time_text(stopped_ms) << std::endl;
    return code;
  }
  if (v.resized_at_us >= 0) {
    std::cerr << "pitchlog-replay: " << v.path << " changes its frame size from " << v.width
              << " x " << v.height << " to " << v.resized_to.width << " x " << v.resized_to.height
              << " at " << pitchlog::video_time_text(v.resized_at_us / 1000)
              << " (recordings joined into one?); the replay stops there, and the reports up to "
                 "there are kept"
              << std::endl;
    return video_broke_off;
  }
  if (pitchlog::video_broke_off(v)) {
    std::cerr << "pitchlog-replay: " << v.path << " breaks off at "
              << pitchlog::video_time_text(v.pending_us / 1000) << " of "
              << pitchlog::video_time_text(v.declared_us / 1000)
              << "; the reports up to there are kept" << std::endl;
    return video_broke_off;
  }
  if (w->locator.locks == 0) {
    std::cerr << "pitchlog-replay: the game picture (data/低め.png) was found nowhere in " << v.path
              << "; nothing was recorded" << std::endl;
    return game_never_found;
  }
  return w->unread.count > 0 ? pitches_unread : replayed_whole;
}
