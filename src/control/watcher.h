#pragma once
// Everything a run keeps from pitch to pitch: one state struct per stage, plus
// the reference pictures. The entry point makes one; tests make a fresh one
// per case.
#include <array>

#include "control/templates/template_store.h"
#include "pitch/ball_detector.h"
#include "record/pitch_log.h"
#include "record/pitch_record.h"
#include "record/record_report.h"
#include "screen/game_area_locator.h"
#include "screen/pitch_context.h"
#include "screen/pitch_trigger.h"
#include "screen/scene_recognizer.h"

namespace pitchlog {

// Why a pitch could not be read. A live run knows only the first: it stops
// there and shows the burst for inspection. With `go_on` (a replay, which
// nobody watches) the burst is shown without waiting for a key, the pitch is
// counted here, and the run goes on; and a replay also names the pitches whose
// ball a lossy video blurred away, where a live run would drop the burst
// (no ball) or classify the part of the path it saw (ball lost).
enum class unread_reason {
  inning_half,  // neither inning sign can be read
  no_ball,      // the finish pose was seen, but no ball in the first two frames
  ball_lost,    // the track ended before frame 11: the path's end is not known
};
inline constexpr int unread_reason_count = 3;

struct unread_pitches {
  bool go_on = false;
  std::array<int, unread_reason_count> count{};  // by reason
};

inline int unread_total(const unread_pitches& u) {
  return u.count[0] + u.count[1] + u.count[2];
}

struct watcher {
  template_set templates;
  locator_state locator;
  scene_state scene;
  trigger_state trigger;
  context_state context;
  ball_state ball;
  pitch_record record;
  report_state report;
  pitch_log_state pitch_log;
  unread_pitches unread;
};

}  // namespace pitchlog
