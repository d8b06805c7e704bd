#include "record/pitch_record.h"

namespace pitchlog {
namespace {

constexpr int last_slot = pitchers_per_team - 1;

team_record& team_of(pitch_record& record, team t) {
  return record.teams[static_cast<int>(t)];
}

// The team's current pitcher; null when the slot was set outside 0..4 from
// outside these operations, so that nothing is ever counted past the array.
pitcher_record* current_pitcher(team_record& tr) {
  if (tr.pitcher_slot < 0 || tr.pitcher_slot > last_slot) return nullptr;
  return &tr.pitchers[tr.pitcher_slot];
}

int after_situation(pitch_type previous) {
  return static_cast<int>(situation::after_straight) + static_cast<int>(previous);
}

void recompute_after_totals(pitcher_record& p) {
  for (int prev = 0; prev < pitch_type_count; ++prev) {
    const double* row = p.type_count[after_situation(static_cast<pitch_type>(prev))];
    p.after_total[prev] = row[0] + row[1] + row[2] + row[3];
  }
}

}  // namespace

void mark_has_pitched(pitch_record& record, team t) {
  team_of(record, t).has_pitched = true;
}

void advance_pitcher(pitch_record& record, team t) {
  team_record& tr = team_of(record, t);
  if (tr.pitcher_slot < last_slot) ++tr.pitcher_slot;
  record.previous_pitch_type.reset();
}

void count_pitcher_pitch(pitch_record& record, team t, bool first_pitch_flag,
                         bool two_strike_flag) {
  pitcher_record* p = current_pitcher(team_of(record, t));
  if (!p) return;
  ++p->pitch_count;
  if (first_pitch_flag) ++p->first_pitch_count;
  if (two_strike_flag) ++p->two_strike_count;
}

void clear_previous_pitch_type(pitch_record& record) {
  record.previous_pitch_type.reset();
}

void record_pitch(pitch_record& record, team t, pitch_type type, bool first_pitch_flag,
                  bool two_strike_flag) {
  if (pitcher_record* p = current_pitcher(team_of(record, t))) {
    const int ti = static_cast<int>(type);
    p->type_count[static_cast<int>(situation::all_pitches)][ti] += 1.0;
    if (first_pitch_flag) p->type_count[static_cast<int>(situation::first_pitch)][ti] += 1.0;
    if (two_strike_flag) p->type_count[static_cast<int>(situation::two_strikes)][ti] += 1.0;
    if (record.previous_pitch_type)
      p->type_count[after_situation(*record.previous_pitch_type)][ti] += 1.0;
  }
  record.previous_pitch_type = type;
  for (team_record& tr : record.teams)
    if (pitcher_record* p = current_pitcher(tr)) recompute_after_totals(*p);
}

// Everything back to zero, the derived after totals included, so that they
// never disagree with the counts they are derived from.
void reset_pitch_record(pitch_record& record) {
  record = pitch_record{};
}

}  // namespace pitchlog
