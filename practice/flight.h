#pragma once
// Ball paths of the practice game: where the ball is, and how big, while a
// pitch is in the air. The camera looks from behind the catcher, so the ball
// comes at the viewer: it grows, and it moves on screen only as much as it
// breaks. All positions are game-picture pixels.
#include <cstdint>

#include "practice/game_view.h"
#include "record/pitch_type.h"

namespace practice {

// A small seeded generator with fixed integer formulas (splitmix64), so that a
// seed gives the same game on every platform and library version.
struct seeded_random {
  uint64_t state = 0;
};

uint64_t next_random(seeded_random& r);

// A whole number in [lo, hi] (inclusive), by multiply-shift of the top 32 bits.
int random_between(seeded_random& r, int lo, int hi);

// The rows of the game picture where the ball can be seen: the lower part of
// the picture that pitchlog searches (rows 177 to 478).
inline constexpr int ball_area_top = 177;
inline constexpr int ball_area_height = 302;

// Time from release (the finish pose appearing) to the ball leaving the picture.
inline constexpr int default_flight_ms = 1400;

// The break happens between these times after release, eased in and out, so
// that every burst taken with a capture period of 60 to 100 ms starting at the
// finish pose sees the whole break between its frame 1 and frame 11.
inline constexpr int break_begin_ms = 200;
inline constexpr int break_end_ms = 650;

struct flight {
  float start_x = 360.5f;  // centre at release
  float start_y = 300.5f;
  float break_x = 0.0f;  // total sideways movement, + to the right on screen
  float break_y = 0.0f;  // total drop, + downward; never negative
  float start_radius = 8.0f;
  float end_radius = 12.0f;
  int duration_ms = default_flight_ms;
  int blur_ms = 0;  // exposure smearing the ball along its path (0: sharp)
};

// The exposure of the hard difficulty's pictures: two frames at 60 Hz.
inline constexpr int hard_blur_ms = 33;

// The ball `ms` after release: centred on a pixel (x.5), radius changing
// linearly; not visible before release or from `duration_ms` on. With a blur
// time, smeared back to where it was that long before (never before release).
ball_view ball_at(const flight& f, int ms);

// A plausible path of this pitch type for this hand, varied by the seed:
// straight stays on one point; fork drops 20 to 70 px and drifts at most 1 px;
// curve breaks 8 to 45 px sideways (right on screen for a right-hander, left
// for a left-hander), shoot the other way; both sink a little. The hard
// difficulty draws the same path, but the ball shrinks from 12.5 to 13.5 px
// at release to 5.5 to 6.5 px at the end and is blurred over hard_blur_ms.
flight make_flight(pitchlog::pitch_type type, hand pitcher_hand, uint64_t seed,
                   difficulty level = difficulty::normal);

}  // namespace practice
