#include "control/main_loop.h"

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <utility>

#include "control/start_up.h"
#include "pitch/pitch_classifier.h"
#include "record/pitch_log.h"
#include "record/record_report.h"
#include "screen/capture_frame.h"

namespace pitchlog {
namespace {

constexpr int vanished_screen_exit = -1;
constexpr int inspection_exit_code = 0;

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
  std::ostream no_error(nullptr);
  append_pitch_row(w.pitch_log, row, w.record, p.error ? *p.error : no_error);
}

// Frames 3 to 11 tracked and released, the pitch classified, counted, logged
// with the time it was caught at, and reported.
void analyse_pitch(watcher& w, const platform& p, frame_burst& burst, const cv::Rect& search_region,
                   std::string caught_at) {
  ball_track track;
  const ball_position first = w.trigger.first_ball_position;
  track_ball(std::span<cv::Mat>(burst.frames).subspan(2), search_region, {first.x, first.y}, w.ball,
             track);
  const pitch_type type = classify_pitch(track, w.context.hand);
  record_pitch(w.record, pitching_team(w.context.half), type, w.scene.first_pitch_flag,
               w.scene.two_strike_flag);
  log_pitch(w, p, std::move(caught_at), type, track);
  std::ostream no_console(nullptr);
  print_record_report(w.record, w.scene.count_checked, p.console ? *p.console : no_console,
                      w.report);
}

}  // namespace

bool pitch_end_wait(const platform& p, const template_set& templates, cv::Point origin,
                    pitcher_hand hand) {
  const template_check& pose = pitch_end_checks[static_cast<int>(hand)];
  for (;;) {
    const cv::Mat capture = capture_frame(p);
    if (capture.empty()) return false;
    if (!is_hit(check_score(capture, templates, origin, pose), pose.threshold)) return true;
  }
}

int inspection_exit(const platform& p, frame_burst& burst, watcher& w) {
  if (p.show_image) {
    p.show_image(inspection_windows[0], burst.trigger_frame);
    for (int i = 0; i < burst_length; ++i) p.show_image(inspection_windows[i + 1], burst.frames[i]);
  }
  if (p.wait_key) p.wait_key();
  release_burst(burst);
  w.templates = template_set{};
  w.ball.work = ball_work_images{};
  close_report_file(w.report);
  return inspection_exit_code;
}

int watch_game(watcher& w, const platform& p) {
  const cv::Size game_size = w.templates[template_id::game_area].size();
  for (;;) {
    if (locate_game_area(p, w.templates, w.locator, w.scene, w.trigger, w.ball, w.record) ==
        locate_outcome::capture_failed) {
      return vanished_screen_exit;
    }
    const cv::Point origin = w.locator.game_origin;
    const cv::Rect search_region = ball_search_region(origin, game_size);

    // The scene loop; the game area is kept until it gives it up. An
    // unreadable capture anywhere in it starts a new locating attempt.
    for (;;) {
      cv::Mat frame = capture_frame(p);
      if (frame.empty()) break;
      const scene_action action =
          scene_pass(frame, w.templates, origin, w.scene, w.locator.locator_miss_count, w.record);
      if (action == scene_action::relocate) break;
      if (action == scene_action::keep_watching) continue;

      frame_burst burst;
      std::string caught_at = p.clock ? p.clock() : std::string();
      if (!take_burst(p, frame, search_region, w.trigger, w.ball, burst)) continue;
      if (!identify_pitch_context(burst, origin, w.scene.first_pitch_flag, w.scene.two_strike_flag,
                                  w.context, w.record)) {
        return inspection_exit(p, burst, w);
      }
      analyse_pitch(w, p, burst, search_region, std::move(caught_at));
      if (!pitch_end_wait(p, w.templates, origin, w.context.hand)) break;
      w.scene.scene_miss_count = 0;
    }
  }
}

int run_watcher(watcher& w, const platform& p) {
  const int code = start_up(w.templates, w.report, p);
  if (code != 0) return code;
  return watch_game(w, p);
}

int run_pitchlog(const platform& p) {
  const auto w = std::make_unique<watcher>();
  return run_watcher(*w, p);
}

}  // namespace pitchlog
