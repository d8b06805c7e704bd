#pragma once
// What the practice game shows at one moment: the renderer draws a game_view,
// the scenario decides which game_view is up at which time.
#include <cstdint>
#include <string>

namespace practice {

inline constexpr int game_width = 720;
inline constexpr int game_height = 480;

enum class game_screen {
  title,
  warning,
  play_ball,  // banner over the ground
  versus,     // the pitch view: count panel, pitcher, batter, ball
  field,      // ground, field view
  time_out,
  scoreboard,
  opponent_time_out_wait,
  game_set,
  cut_in,  // an in-game screen that none of pitchlog's checks knows
};

enum class pose { set, take_back, finish };

// How hard the pitch view makes the ball search. normal: flat fills, a ball
// that grows as it comes at the camera, nothing else round where it flies.
// hard: textured grass and dirt, round decoys in the searched rows (the
// batter's and the base coaches' heads and caps, round bases, a rosin bag,
// the on-deck circle), a ball that shrinks from about 13 to about 6 px and
// is smeared by motion blur, and pixel noise that changes from frame to frame.
enum class difficulty { normal, hard };
enum class half { top, bottom };
enum class hand { right, left };

struct ball_view {
  bool visible = false;
  float x = 0.0f;  // centre, game-picture pixels
  float y = 0.0f;
  float radius = 0.0f;  // 6 to 13 px in flight
  // Motion blur: the ball is smeared back to (x - blur_x, y - blur_y), where
  // it was while the picture was exposed (0, 0: sharp).
  float blur_x = 0.0f;
  float blur_y = 0.0f;
  bool operator==(const ball_view&) const = default;
};

struct game_view {
  game_screen screen = game_screen::title;
  difficulty level = difficulty::normal;  // changes the versus view only
  // Versus view.
  int balls = 0;
  int strikes = 0;
  int outs = 0;
  int inning = 1;
  half inning_half = half::top;
  std::string pitcher_name = "PITCHER";
  hand pitcher_hand = hand::right;
  pose pitcher_pose = pose::set;
  ball_view ball;
  bool show_hand_sign = true;          // false: neither hand sign shows
  bool show_inning_sign = true;        // false: neither inning sign shows
  bool ignored_point_markers = false;  // round markers at the two fixed points the tracker ignores
  // Mild pixel noise (0: none), reproducible from the seed.
  int noise_amplitude = 0;
  uint32_t noise_seed = 0;
  bool operator==(const game_view&) const = default;
};

}  // namespace practice
