#pragma once
// Who pitched: the inning half (and so the pitching team), the pitcher on the
// mound by his saved name crop, and his throwing hand, read from burst frame 1.
#include <cstdint>
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "pitch/pitch_type.h"
#include "record/pitch_record.h"
#include "screen/pitch_trigger.h"

namespace pitchlog {

enum class inning_half : int { top = 0, bottom = 1, undecided = 2 };

// What identification keeps across pitches.
struct context_state {
  inning_half half = inning_half::undecided;  // no meaning before the first accepted burst
  pitcher_hand hand = pitcher_hand::right;
};

// Regions (offsets from the game origin) and thresholds.
struct context_region {
  int x;
  int y;
  int w;
  int h;
};
inline constexpr context_region inning_region = {60, 10, 80, 40};
inline constexpr context_region name_region = {545, 15, 90, 20};
inline constexpr context_region hand_region = {550, 20, 130, 50};
inline constexpr double sign_threshold = 0.97;          // inning and hand signs: hit when above
inline constexpr double same_pitcher_threshold = 0.95;  // name: same pitcher at or above

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

// The half from both sign scores (both always tried); `bottom` wins when both hit.
inning_half inning_from_scores(double top_score, double bottom_score);
// A name score below 0.95 is a new pitcher; at or above it, or NaN, the same one.
inline bool is_new_pitcher(double name_score) {
  return name_score < same_pitcher_threshold;
}
// The hand from both sign scores; `left` wins when both hit, `previous` stays when neither does.
pitcher_hand hand_from_scores(double right_score, double left_score, pitcher_hand previous);

// Reads the inning half from burst frame 1. When it is decided: marks who
// pitched, checks the pitcher against his team's name crop (advancing the team
// to a new pitcher on a change), counts the pitch for him, reads his hand, and
// releases the trigger frame and frames 1 and 2; returns true. When the half
// stays undecided nothing else happens and every frame is kept; returns false.
bool identify_pitch_context(frame_burst& burst, cv::Point origin, int32_t first_pitch_flag,
                            int32_t two_strike_flag, context_state& context, pitch_record& record);

}  // namespace pitchlog
