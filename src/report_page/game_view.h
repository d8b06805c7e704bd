#pragma once
// One game of the log, replayed into a pitch record by the record's own
// operations in the order the watcher runs them, so that its numbers are the
// ones the text report printed; with the game's pitchers and half innings.
#include <optional>
#include <vector>

#include "record/pitch_record.h"
#include "report_page/pitch_log_reader.h"

namespace pitchlog {

struct game_pitcher {
  team pitching = team::batting_second;
  int32_t slot = 0;
  bool current = false;  // the team's pitcher at the game's last pitch, as the text report shows
  std::vector<int> pitches;  // indices into game_view::pitches
};

struct half_inning {
  int inning = 1;  // counted from the game's first logged half
  bool top = true;
  std::vector<int> pitches;  // indices into game_view::pitches
};

struct game_view {
  int number = 0;  // as read_pitch_log numbers the games
  int games = 0;   // in the whole log
  std::vector<logged_pitch> pitches;
  pitch_record record;
  std::vector<game_pitcher> pitchers;  // in report order: team, then slot
  std::vector<half_inning> halves;
};

// Game `number` (1 to log.games) replayed; nothing when the log has no such game.
std::optional<game_view> replay_game(const pitch_log_contents& log, int number);

}  // namespace pitchlog
