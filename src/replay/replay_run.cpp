#include "replay/replay_run.h"

#include <stdio.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>

#include <opencv2/imgcodecs.hpp>

#include "control/capture/clock_text.h"
#include "control/capture/platform.h"
#include "control/capture/video/video_desktop.h"
#include "control/main_loop.h"

namespace pitchlog {
namespace {

using wall_clock = std::chrono::steady_clock;

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
  std::ostream* err = nullptr;
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
  bring_video_to_reference_scale(v, found_scale);
}

std::string progress_text(const progress_line& line, const video_desktop& v, int pitches) {
  const int64_t done_ms = video_now_ms(v);
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
  *line.err << "\r\033[K" << std::flush;
  line.drawn = false;
}

void show_progress(progress_line& line, const video_desktop& v, int pitches) {
  const auto now = wall_clock::now();
  if (line.terminal) {
    if (now - line.last_draw < redraw_every) return;
    line.last_draw = now;
    *line.err << "\r\033[K" << progress_text(line, v, pitches) << std::flush;
    line.drawn = true;
  } else if (video_now_ms(v) - line.last_plain_ms >= plain_line_every_ms) {
    line.last_plain_ms = video_now_ms(v);
    *line.err << progress_text(line, v, pitches) << std::endl;
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
  std::ostream& err = *progress.err;
  err << "pitchlog-replay: the inning half of the pitch at " << caught_at << " cannot be read; ";
  if (made) {
    err << "its burst cannot be kept (" << folder << ": " << made.message() << ")";
    folder.clear();
  } else {
    err << "its burst is in " << folder << "/";
  }
  err << ", and the replay goes on" << std::endl;
  return folder;
}

// One line for each pitch named unread since the last call, other than those
// of an unknown inning half (whose line comes with their burst's folder).
// The time is written out only when a line is due: this runs at every capture.
void name_unread_pitches(progress_line& progress, const unread_pitches& unread,
                         std::array<int, unread_reason_count>& named, const platform& p,
                         int64_t caught_at_us) {
  for (const unread_reason why : {unread_reason::no_ball, unread_reason::ball_lost}) {
    const int k = static_cast<int>(why);
    if (unread.count[k] == named[k]) continue;
    named[k] = unread.count[k];
    clear_progress(progress);
    *progress.err << "pitchlog-replay: the ball of the pitch at " << p.time_text(caught_at_us)
                  << (why == unread_reason::no_ball ? " cannot be found in its first two frames"
                                                    : " is lost before the end of its path")
                  << "; the pitch is not recorded, and the replay goes on" << std::endl;
  }
}

// The closing count of unread pitches, by reason.
void count_unread_pitches(std::ostream& err, const unread_pitches& unread) {
  const int total = unread_total(unread);
  if (total == 0) return;
  static constexpr const char* reasons[unread_reason_count] = {"inning half unknown",
                                                               "ball not found", "ball lost"};
  err << "pitchlog-replay: " << total << (total == 1 ? " pitch" : " pitches")
      << " could not be read (";
  const char* between = "";
  for (int k = 0; k < unread_reason_count; ++k) {
    if (unread.count[k] == 0) continue;
    err << between << unread.count[k] << " " << reasons[k];
    between = ", ";
  }
  err << ")";
  if (unread.count[static_cast<int>(unread_reason::inning_half)] > 0)
    err << "; the bursts of unknown inning halves are in the unread_ folders";
  err << std::endl;
}

}  // namespace

run_outcome replay_video(const std::string& path, std::ostream& out, std::ostream& err) {
  video_desktop v;
  std::string error;
  if (!open_video_desktop(v, path, error)) {
    err << "pitchlog-replay: " << error << std::endl;
    return run_outcome::source_refused;
  }

  const auto w = std::make_unique<watcher>();
  w->unread.go_on = true;
  w->trigger.keeps_ballless_burst = true;
  w->locator.searches_scales = true;
  w->context.close_calls = replay_close_calls;
  progress_line progress;
  progress.err = &err;
  progress.terminal = is_terminal(stderr) && is_terminal(stdout);
  console_buffer console_to_stdout(out.rdbuf(), [&progress] { clear_progress(progress); });
  std::ostream console(&console_to_stdout);

  platform p = console_platform(console, err);
  connect_video_platform(v, p);
  std::array<int, unread_reason_count> named{};
  p.source.grab = [&](screen_grab& grab) {
    name_unread_pitches(progress, w->unread, named, p, w->trigger.caught_at_us);
    apply_found_scale(v, w->locator.found_scale);
    const bool grabbed = grab_video(v, grab);
    show_progress(progress, v, w->pitch_log.pitches);
    return grabbed;
  };
  // Nobody sits at a replay: the start-up failure reads no key, and the burst of
  // a pitch that cannot be read goes to image files named after their windows,
  // in a folder of its own, while the replay goes on.
  p.read_char = [] {};
  std::string unread_folder;
  p.show_image = [&](const std::string& window, const cv::Mat& image) {
    if (window == inspection_windows[0])
      unread_folder = unread_burst_folder(progress, p.time_text(w->trigger.caught_at_us));
    if (!unread_folder.empty()) cv::imwrite(unread_folder + "/" + window + ".png", image);
  };
  p.wait_key = [] {};
  // A capture.bmp that cannot be written ends the replay (below): retried, the
  // video would run on unwatched.
  p.source.retries_unwritten_capture = false;

  const run_outcome outcome = run_watcher(*w, p);
  clear_progress(progress);
  progress.last_plain_ms = -plain_line_every_ms;
  progress.terminal = false;
  const int64_t stopped_ms = video_now_ms(v);
  if (v.grabs > 0) show_progress(progress, v, w->pitch_log.pitches);

  name_unread_pitches(progress, w->unread, named, p, w->trigger.caught_at_us);
  count_unread_pitches(err, w->unread);
  switch (outcome) {
    case run_outcome::report_file:
      err << "pitchlog-replay: text.txt cannot be opened for writing in the working folder"
          << std::endl;
      break;
    case run_outcome::screen_lost:
      err << "pitchlog-replay: capture.bmp cannot be written or read back in the working "
             "folder; stopped at "
          << video_time_text(stopped_ms) << std::endl;
      break;
    case run_outcome::video_broke_off:
      if (v.resized_at_us >= 0) {
        err << "pitchlog-replay: " << v.path << " changes its frame size from " << v.width << " x "
            << v.height << " to " << v.resized_to.width << " x " << v.resized_to.height << " at "
            << video_time_text(v.resized_at_us / 1000)
            << " (recordings joined into one?); the replay stops there, and the reports up to "
               "there are kept"
            << std::endl;
      } else {
        err << "pitchlog-replay: " << v.path << " breaks off at "
            << video_time_text(v.pending_us / 1000) << " of "
            << video_time_text(v.declared_us / 1000) << "; the reports up to there are kept"
            << std::endl;
      }
      break;
    case run_outcome::game_never_found:
      err << "pitchlog-replay: the game picture (data/低め.png) was found nowhere in " << v.path
          << "; nothing was recorded" << std::endl;
      break;
    case run_outcome::video_ended:
      if (unread_total(w->unread) > 0) return run_outcome::pitches_unread;
      break;
    case run_outcome::picture_refused:  // the watcher has said why
    case run_outcome::source_refused:
    case run_outcome::inspected:  // never: a replay goes on past an unread pitch
    case run_outcome::pitches_unread:
      break;
  }
  return outcome;
}

}  // namespace pitchlog
