#pragma once
// Everything a run keeps from pitch to pitch: one state struct per stage, plus
// the reference pictures. The entry point makes one; tests make a fresh one
// per case.
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

// A pitch whose inning half cannot be read: a live run stops there and shows
// its burst for inspection; with `go_on` (a replay, which nobody watches) the
// burst is shown without waiting for a key, the pitch is counted here, and the
// run goes on.
struct unread_pitches {
  bool go_on = false;
  int count = 0;
};

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
