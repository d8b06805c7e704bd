#include "control/main_loop.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "control/capture/capture_frame.h"
#include "control/capture/signal_end.h"
#include "control/start_up.h"
#include "pitch/pitch_classifier.h"
#include "record/pitch_log.h"
#include "record/record_report.h"

namespace pitchlog {
namespace {

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end pitchlog as they
// always have, only never inside a report: its row goes to pitches.csv, then
// each report line to the console and then to text.txt, and an end in between
// would leave a row without its report, or the console a line ahead of the
// file. While a report is written such a signal is held, and delivered once
// the report is whole; a second one ends the run at once, so that a console
// that no longer takes output cannot keep the process alive. Signal state is
// process-wide by nature, hence these two globals; they are atomic because on
// Windows the C runtime runs the SIGINT handler on a thread of its own, and
// one compare-and-swap decides between the handler and the main thread.
enum report_phase : int {
  between_reports,
  writing_report,
  signal_held,  // writing, with a signal to deliver at the end
  ending,       // a handler is ending the process
};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> current_phase{between_reports};
std::atomic<int> held_signal{0};

void end_between_reports(int signal) {
  for (int phase = current_phase.load();;) {
    if (phase == writing_report) {
      held_signal.store(signal);
      if (current_phase.compare_exchange_weak(phase, signal_held)) return;
    } else if (phase != between_reports || current_phase.compare_exchange_weak(phase, ending)) {
      break;  // between reports, or a second signal during one
    }
  }
  end_by_signal(signal);
}

// Marks the start of a pitch's row and report. Should a handler on another
// thread be ending the process already, nothing more is written.
void begin_report() {
  int phase = between_reports;
  while (!current_phase.compare_exchange_strong(phase, writing_report)) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    phase = between_reports;
  }
}

// Ends the process with a signal that arrived during the report just written.
void end_report() {
  if (current_phase.exchange(between_reports) == signal_held) {
    current_phase.store(ending);
    end_by_signal(held_signal.load());
  }
}

// Installs end_between_reports for the ending signals for the life of the
// run, leaving a signal the process was started to ignore ignored. SIGPIPE is
// ignored meanwhile: a console that went away (the reader of a pipe ended) is
// a write error, and write errors on the console never stop the report to
// text.txt.
class reports_kept_whole {
 public:
  reports_kept_whole() {
    for (size_t i = 0; i < std::size(signals_); ++i) {
      previous_[i] = std::signal(signals_[i], end_between_reports);
      if (previous_[i] == SIG_IGN) std::signal(signals_[i], SIG_IGN);
    }
#ifdef SIGPIPE
    previous_pipe_ = std::signal(SIGPIPE, SIG_IGN);
#endif
  }
  ~reports_kept_whole() {
    for (size_t i = 0; i < std::size(signals_); ++i) {
      if (previous_[i] != SIG_ERR) std::signal(signals_[i], previous_[i]);
    }
#ifdef SIGPIPE
    if (previous_pipe_ != SIG_ERR) std::signal(SIGPIPE, previous_pipe_);
#endif
  }
  reports_kept_whole(const reports_kept_whole&) = delete;
  reports_kept_whole& operator=(const reports_kept_whole&) = delete;

 private:
#ifdef SIGHUP
  static constexpr int signals_[] = {SIGINT, SIGTERM, SIGHUP};
#else
  static constexpr int signals_[] = {SIGINT, SIGTERM};
#endif
  void (*previous_[std::size(signals_)])(int) = {};
  void (*previous_pipe_)(int) = SIG_ERR;
};

// One row of "pitches.csv" for the pitch just counted, written before its report.
void log_pitch(watcher& w, const platform& p, std::string time, pitch_type type,
               const ball_track& track) {
  pitch_log_row row;
  row.time = std::move(time);
  row.pitching = pitching_team(w.context.half);
  row.pitcher_slot = w.record.teams[static_cast<int>(row.pitching)].pitcher_slot;
  row.hand = w.context.hand;
  row.first_pitch_flag = w.scene.first_pitch_flag;
  row.two_strike_flag = w.scene.two_strike_flag;
  row.type = type;
  row.track[0] = {track.points[1].x, track.points[1].y};
  for (int k = 3; k <= burst_length; ++k) row.track[k - 2] = {track.points[k].x, track.points[k].y};
  append_pitch_row(w.pitch_log, row, w.record, *p.error);
}

// The burst in the inspection windows.
void show_burst(const platform& p, const frame_burst& burst) {
  p.show_image(inspection_windows[0], burst.trigger_frame);
  for (int i = 0; i < burst_length; ++i) p.show_image(inspection_windows[i + 1], burst.frames[i]);
}

// Frames 3 to 11 tracked and released; the frame that ended the track, or 0.
int follow_ball(watcher& w, frame_burst& burst, const cv::Rect& search_region, ball_track& track) {
  const ball_position first = w.trigger.first_ball_position;
  return track_ball(std::span<cv::Mat>(burst.frames).subspan(2), search_region, {first.x, first.y},
                    w.ball, track);
}

}  // namespace

pitch_type analyse_pitch(watcher& w, const platform& p, frame_burst& burst,
                         const cv::Rect& search_region) {
  ball_track track;
  follow_ball(w, burst, search_region, track);
  return record_tracked_pitch(w, p, track);
}

pitch_type record_tracked_pitch(watcher& w, const platform& p, const ball_track& track) {
  const pitch_type type = classify_pitch(track, w.context.hand);
  record_pitch(w.record, pitching_team(w.context.half), type, w.scene.first_pitch_flag,
               w.scene.two_strike_flag);
  std::string caught_at = p.time_text(w.trigger.caught_at_us);
  begin_report();
  log_pitch(w, p, std::move(caught_at), type, track);
  print_record_report(w.record, *p.console, w.report);
  end_report();
  w.scene.count_checked = false;
  return type;
}

void take_lock(watcher& w, const lock_result& lock) {
  // The work images are made once per lock at most, and only while no burst
  // has been counted, so that no pitch pays for them. The refinement capture
  // is loaded as 8-bit colour, so they are 8-bit.
  if (w.trigger.burst_count == 0) {
    const cv::Size game = w.templates[template_id::game_area].size();
    make_ball_work_images(w.ball.work, ball_search_region(w.locator.game_origin, game).size(),
                          CV_8U);
  }
  if (lock.empty_record) {
    reset_pitch_record(w.record);
    w.trigger.burst_count = 0;
    w.scene.scene_miss_count = 0;
    w.scene.count_checked = false;
  }
}

void count_identified_pitch(watcher& w, const pitch_identity& id) {
  if (id.top_sign) mark_has_pitched(w.record, team::batting_second);
  if (id.bottom_sign) mark_has_pitched(w.record, team::batting_first);
  if (w.context.half == inning_half::undecided) return;
  const team pitching = pitching_team(w.context.half);
  if (id.new_pitcher) advance_pitcher(w.record, pitching);
  count_pitcher_pitch(w.record, pitching, w.scene.first_pitch_flag, w.scene.two_strike_flag);
}

bool pitch_end_wait(const platform& p, const template_set& templates, cv::Point origin,
                    pitcher_hand hand) {
  const template_check& pose =
      check_of(hand == pitcher_hand::left ? check_id::pitch_end_left : check_id::pitch_end_right);
  for (;;) {
    const cv::Mat capture = capture_frame(p);
    if (capture.empty()) return false;
    if (!is_hit(check_score(capture, templates, origin, pose), pose.threshold)) return true;
  }
}

run_outcome inspection_exit(const platform& p, frame_burst& burst, watcher& w) {
  show_burst(p, burst);
  p.wait_key();
  release_burst(burst);
  w.templates = template_set{};
  w.ball.work = ball_work_images{};
  close_report_file(w.report);
  return run_outcome::inspected;
}

bool pass_unread_pitch(watcher& w, const platform& p, frame_burst& burst, unread_reason why) {
  ++w.unread.count[static_cast<int>(why)];
  if (why == unread_reason::inning_half) show_burst(p, burst);
  release_burst(burst);
  clear_previous_pitch_type(w.record);
  w.scene.count_checked = false;
  const cv::Point origin = w.locator.game_origin;
  if (why != unread_reason::inning_half)
    return pitch_end_wait(p, w.templates, origin, w.context.hand);
  return pitch_end_wait(p, w.templates, origin, pitcher_hand::right) &&
         pitch_end_wait(p, w.templates, origin, pitcher_hand::left);
}

run_outcome watch_game(watcher& w, const platform& p) {
  const cv::Size game_size = w.templates[template_id::game_area].size();
  for (;;) {
    const lock_result lock = locate_game_area(p, w.templates, w.locator);
    if (lock.outcome == locate_outcome::capture_failed) return run_outcome::screen_lost;
    take_lock(w, lock);
    const cv::Point origin = w.locator.game_origin;
    const cv::Rect search_region = ball_search_region(origin, game_size);

    // The scene loop; the game area is kept until it gives it up. An
    // unreadable capture anywhere in it starts a new locating attempt.
    for (;;) {
      cv::Mat frame = capture_frame(p);
      if (frame.empty()) break;
      const scene_outcome seen = scene_pass(frame, w.templates, origin, w.scene);
      // A new batter: the previous pitch belongs to another at-bat.
      if (seen.first_pitch_read) clear_previous_pitch_type(w.record);
      if (seen.action == scene_action::game_over) note_game_over(w.locator);
      if (seen.action == scene_action::give_up || seen.action == scene_action::game_over) break;
      if (seen.action == scene_action::keep_watching) continue;

      frame_burst burst;
      const burst_outcome taken = take_burst(p, frame, search_region, w.trigger, w.ball, burst);
      // A replay names a pitch whose ball a lossy video blurred away, where a
      // live run drops the burst (and may catch the same throw again later,
      // with the ball at the end of its path) or classifies the part of the
      // path it saw. Such a pitch still counts for its pitcher, whose changes
      // are told from the pitches counted.
      std::optional<unread_reason> unread;
      if (taken == burst_outcome::no_ball && w.unread.go_on) unread = unread_reason::no_ball;
      if (taken != burst_outcome::accepted && !unread) continue;
      count_identified_pitch(w, identify_pitch_context(burst, origin, w.record, w.context));
      ball_track track;
      if (w.context.half == inning_half::undecided) {
        if (!w.unread.go_on) return inspection_exit(p, burst, w);
        unread = unread_reason::inning_half;
      } else if (!unread) {
        // The second rejection before frame 11 leaves the path's end unseen.
        const int ended_at = follow_ball(w, burst, search_region, track);
        if (w.unread.go_on && ended_at != 0 && ended_at < burst_length)
          unread = unread_reason::ball_lost;
      }
      if (unread) {
        if (!pass_unread_pitch(w, p, burst, *unread)) break;
        w.scene.scene_miss_count = 0;
        continue;
      }
      record_tracked_pitch(w, p, track);
      if (!pitch_end_wait(p, w.templates, origin, w.context.hand)) break;
      w.scene.scene_miss_count = 0;
    }
  }
}

run_outcome run_watcher(watcher& w, const platform& p) {
  w.pitch_log.run = p.wall_clock();
  if (const std::optional<run_outcome> refused = start_up(w.templates, w.report, p))
    return *refused;
  const run_outcome watched = watch_game(w, p);
  if (watched != run_outcome::screen_lost) return watched;
  // A lost screen may be the end of a video.
  switch (p.source.end()) {
    case source_end::none:
      break;
    case source_end::broke_off:
      return run_outcome::video_broke_off;
    case source_end::ended:
      return w.locator.locks == 0 ? run_outcome::game_never_found : run_outcome::video_ended;
  }
  return run_outcome::screen_lost;
}

run_outcome run_pitchlog(const platform& p) {
  std::string why;
  if (!p.source.open(why)) {
    *p.error << "pitchlog: " << why << std::endl;
    return run_outcome::source_refused;
  }
  run_outcome outcome;
  {
    const reports_kept_whole signals;
    const auto w = std::make_unique<watcher>();
    outcome = run_watcher(*w, p);
  }
  p.source.close();
  return outcome;
}

}  // namespace pitchlog
