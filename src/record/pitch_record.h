#pragma once
// Pitch statistics per team, pitcher and situation, with the shared memory of
// the previous pitch type. Fixed-size storage, no allocation.
#include <cstdint>
#include <optional>

#include "record/pitch_type.h"

namespace pitchlog {

enum class team : int { batting_first = 0, batting_second = 1 };

// In report order.
enum class situation : int {
  all_pitches,
  first_pitch,
  two_strikes,
  after_straight,
  after_curve,
  after_fork,
  after_shoot,
};
inline constexpr int situation_count = 7;
inline constexpr int pitchers_per_team = 5;

// The counts keep the widths the report's arithmetic is defined on: whole
// pitch counts as 32-bit integers, converted to double before they divide,
// and type counts and after totals as doubles that only ever hold whole
// numbers.
struct pitcher_record {
  int32_t pitch_count = 0;
  int32_t first_pitch_count = 0;
  int32_t two_strike_count = 0;
  double type_count[situation_count][pitch_type_count] = {};
  double after_total[pitch_type_count] = {};  // sum of type_count[after_P][*], per previous type P
};

struct team_record {
  int32_t pitcher_slot = 0;  // the current pitcher, 0 to 4
  bool has_pitched = false;  // the team pitched since start or since the record was emptied
  pitcher_record pitchers[pitchers_per_team];
};

struct pitch_record {
  team_record teams[2];
  std::optional<pitch_type> previous_pitch_type;
};

void mark_has_pitched(pitch_record& record, team t);
// Next pitcher of the team; a sixth pitcher keeps counting into slot 4.
void advance_pitcher(pitch_record& record, team t);
void count_pitcher_pitch(pitch_record& record, team t, bool first_pitch_flag, bool two_strike_flag);
void clear_previous_pitch_type(pitch_record& record);
// Counts the type in every situation that applies, remembers it, and
// recomputes both teams' current after totals.
void record_pitch(pitch_record& record, team t, pitch_type type, bool first_pitch_flag,
                  bool two_strike_flag);
// Empties the record (the counters of other stages are the caller's).
void reset_pitch_record(pitch_record& record);

}  // namespace pitchlog
