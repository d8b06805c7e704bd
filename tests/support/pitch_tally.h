#pragma once
// Pitches counted per team, pitcher slot and type, from the practice game's
// truth or from pitchlog's record, so whole runs can be compared at a glance.
#include <map>
#include <tuple>

#include "practice/scenario.h"
#include "record/pitch_record.h"

namespace test_support {

using pitch_tally = std::map<std::tuple<pitchlog::team, int, pitchlog::pitch_type>, int>;

inline pitch_tally truth_tally(const practice::scenario& s) {
  pitch_tally t;
  for (const practice::truth_pitch& p : practice::truth_of(s)) {
    const pitchlog::team pitching = p.inning_half == practice::half::top
                                        ? pitchlog::team::batting_second
                                        : pitchlog::team::batting_first;
    ++t[{pitching, p.pitcher_slot, p.type}];
  }
  return t;
}

inline pitch_tally record_tally(const pitchlog::pitch_record& record) {
  using namespace pitchlog;
  pitch_tally t;
  for (team pitching : {team::batting_first, team::batting_second}) {
    for (int slot = 0; slot < pitchers_per_team; ++slot) {
      const pitcher_record& p = record.teams[static_cast<int>(pitching)].pitchers[slot];
      for (int type = 0; type < pitch_type_count; ++type) {
        const double n = p.type_count[static_cast<int>(situation::all_pitches)][type];
        if (n > 0) t[{pitching, slot, static_cast<pitch_type>(type)}] = static_cast<int>(n);
      }
    }
  }
  return t;
}

}  // namespace test_support
