#pragma once
// Who pitched: the inning half (and so the pitching team), the pitcher on the
// mound by his saved name crop, and his throwing hand, read from burst frame 1.
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "control/templates/checks.h"
#include "record/pitch_record.h"
#include "record/pitch_type.h"
#include "screen/pitch_trigger.h"

namespace pitchlog {

enum class inning_half : int { top = 0, bottom = 1, undecided = 2 };

// What identification keeps across pitches.
struct context_state {
  inning_half half = inning_half::undecided;  // no meaning before the first accepted burst
  pitcher_hand hand = pitcher_hand::right;
  // Off in a live run; a replay decides the signs' close calls by it.
  close_call_rule close_calls{};
};

// The name crop of each team's current pitcher, in the working folder.
inline constexpr std::string_view batting_first_crop_file = "pitcher_name_bat.png";
inline constexpr std::string_view batting_second_crop_file = "pitcher_name_field.png";

// `top`: the batting-second team pitches; `bottom`: the batting-first team.
inline team pitching_team(inning_half half) {
  return half == inning_half::bottom ? team::batting_first : team::batting_second;
}
inline std::string_view crop_file(team t) {
  return t == team::batting_first ? batting_first_crop_file : batting_second_crop_file;
}

// The half from both sign scores (both always tried); `bottom` wins when both
// hit; where neither does, `rule` may still decide.
inning_half inning_from_scores(double top_score, double bottom_score,
                               const close_call_rule& rule = {});
// A name score below 0.95 is a new pitcher; at or above it, or NaN, the same one.
bool is_new_pitcher(double name_score);
// The hand from both sign scores; `left` wins when both hit; where neither
// does, `rule` may decide, else `previous` stays.
pitcher_hand hand_from_scores(double right_score, double left_score, pitcher_hand previous,
                              const close_call_rule& rule = {});

// What identification read, for the record to count.
struct pitch_identity {
  bool top_sign = false;     // the top-of-inning sign hit: the batting-second team pitched
  bool bottom_sign = false;  // the bottom-of-inning sign hit: the batting-first team pitched
  bool new_pitcher = false;  // the pitching team has a new pitcher on the mound
};

// Reads the inning half from burst frame 1 into `context`. When it is decided:
// checks the pitcher against his team's name crop (a team without a pitch
// counted in `record` only saves its crop), reads his hand, and releases the
// trigger frame and frames 1 and 2. When the half stays undecided nothing else
// happens and every frame is kept for the inspection windows.
pitch_identity identify_pitch_context(frame_burst& burst, cv::Point origin,
                                      const pitch_record& record, context_state& context);

}  // namespace pitchlog
