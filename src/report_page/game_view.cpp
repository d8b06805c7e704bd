#include "report_page/game_view.h"

#include "record/record_report.h"

namespace pitchlog {
namespace {

// The record's operations for one logged pitch, in the watcher's order: a
// first pitch forgets the previous type when the count panel is read, the
// inning sign marks the team, a new pitcher comes before the pitch is
// counted, then the type is recorded.
void replay_pitch(pitch_record& record, const pitch_log_row& row) {
  const team t = row.pitching;
  if (row.first_pitch_flag) clear_previous_pitch_type(record);
  mark_has_pitched(record, t);
  // A row names its pitcher's slot; a jump of more than one means rows were
  // left out, and the slots between stay empty as the record had them.
  while (record.teams[static_cast<int>(t)].pitcher_slot < row.pitcher_slot)
    advance_pitcher(record, t);
  count_pitcher_pitch(record, t, row.first_pitch_flag, row.two_strike_flag);
  record_pitch(record, t, row.type, row.first_pitch_flag, row.two_strike_flag);
}

}  // namespace

std::optional<game_view> replay_game(const pitch_log_contents& log, int number) {
  if (number < 1 || number > log.games) return std::nullopt;
  game_view game;
  game.number = number;
  game.games = log.games;
  for (const logged_pitch& p : log.pitches)
    if (p.game == number) game.pitches.push_back(p);

  // The slot each pitch was counted for: a row whose slot lies behind its
  // team's current one is counted for the current pitcher, as by the watcher.
  std::vector<int32_t> counted_for;
  for (int i = 0; i < static_cast<int>(game.pitches.size()); ++i) {
    const pitch_log_row& row = game.pitches[i].row;
    replay_pitch(game.record, row);
    counted_for.push_back(game.record.teams[static_cast<int>(row.pitching)].pitcher_slot);
    const bool top = row.pitching == team::batting_second;
    if (game.halves.empty() || game.halves.back().top != top) {
      const int inning = game.halves.empty() ? 1 : game.halves.back().inning + (top ? 1 : 0);
      game.halves.push_back({inning, top, {}});
    }
    game.halves.back().pitches.push_back(i);
  }

  for (const team t : report_team_order) {
    const team_record& tr = game.record.teams[static_cast<int>(t)];
    for (int32_t slot = 0; slot < pitchers_per_team; ++slot) {
      if (tr.pitchers[slot].pitch_count == 0) continue;
      game_pitcher pitcher{t, slot, slot == tr.pitcher_slot, {}};
      for (int i = 0; i < static_cast<int>(game.pitches.size()); ++i)
        if (game.pitches[i].row.pitching == t && counted_for[i] == slot)
          pitcher.pitches.push_back(i);
      game.pitchers.push_back(std::move(pitcher));
    }
  }
  return game;
}

}  // namespace pitchlog
