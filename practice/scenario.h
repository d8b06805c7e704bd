#pragma once
// Scenarios of the practice game: what the game shows when, where its picture
// sits on the desktop, and the ground truth of every pitch thrown.
//
// A scenario is a list of steps played one after another from time 0: screens
// shown for a while, pitches, and periods when the game picture is absent from
// the desktop. A pitch runs through its phases: set pose, take-back pose, the
// finish pose (the ball is released when it appears and flies for the flight's
// duration), then the versus view with the count of the next pitch.
//
// JSON form (a file a test or a person can write by hand; unknown keys are
// errors; every key except "timeline" and a step's "screen"/"pitch"/"ms" is
// optional):
//
//   {
//     "desktop": {"width": 1920, "height": 1080,      // any size, default 1920 x 1080
//                 "game_x": 600, "game_y": 300,       // top-left of the 720 x 480 picture;
//                                                     // may lie partly off the desktop
//                 "background": [48, 40, 32],         // blue, green, red
//                 "pattern": "plain"},                // "plain", "gradient" or "checker"
//     "seed": 1,          // varies the flights of pitches written without "flight"
//     "timeline": [
//       {"screen": "title", "ms": 2000},
//       {"screen": "absent", "ms": 3000},             // no game picture on the desktop
//       {"screen": "scoreboard", "ms": 1500, "inning": 1, "half": "top"},
//       {"pitch": "curve", "pitcher": "AKAGI", "hand": "right",
//        "balls": 0, "strikes": 0, "outs": 0,
//        "flight": {"x": 360, "y": 290, "break_x": 20, "break_y": 6,
//                   "r0": 7.5, "r1": 11.5, "ms": 1400},
//        "ball": true,              // false: no ball at all (a burst to drop)
//        "hide_ms": [300, 360],     // ball hidden in this window after release
//        "markers": false,          // round markers at the points the tracker ignores
//        "noise": 0,                // mild pixel noise amplitude
//        "inning_sign": true, "hand_sign": true,
//        "set_ms": 900, "take_back_ms": 500, "finish_ms": 1000, "after_ms": 800},
//       {"screen": "game_set", "ms": 3000}
//     ]
//   }
//
// Screens: "title", "warning", "play_ball", "versus" (set pose, no pitch),
// "field", "time_out", "scoreboard", "opponent_time_out_wait", "game_set",
// "cut_in" (a screen pitchlog does not know) and "absent". Pitch types:
// "straight", "curve", "fork", "shoot". The match state ("inning", "half"
// "top"/"bottom", "outs", "balls", "strikes", "pitcher", "hand"
// "right"/"left") carries over from the step before when a step leaves it out.
//
// Truth log: one JSON object per line for every pitch, in this form:
//   {"n":1,"time_ms":2900,"half":"top","team":"batting_second","pitcher_slot":0,
//    "pitcher":"AKAGI","hand":"right","type":"curve","balls":0,"strikes":0}
// "top" means the team batting second pitches; pitcher_slot is the pitcher's
// index among his team's pitchers in order of first appearance; time_ms is when
// the finish pose appears.
#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "practice/flight.h"
#include "practice/game_view.h"
#include "record/pitch_type.h"

namespace practice {

enum class background_pattern { plain, gradient, checker };

struct desktop_layout {
  int width = 1920;
  int height = 1080;
  int game_x = 600;  // top-left corner of the game picture on the desktop
  int game_y = 300;
  std::array<uint8_t, 3> background = {48, 40, 32};  // blue, green, red
  background_pattern pattern = background_pattern::plain;
};

// Phase lengths of a pitch (ms). The finish pose stays about a second; the
// versus view after it already shows the next pitch's count.
inline constexpr int default_set_ms = 900;
inline constexpr int default_take_back_ms = 500;
inline constexpr int default_finish_ms = 1000;
inline constexpr int default_after_ms = 800;

struct pitch_plan {
  pitchlog::pitch_type type = pitchlog::pitch_type::straight;
  flight path;
  bool ball = true;       // false: the ball never shows
  int hide_from_ms = -1;  // ball hidden in [hide_from_ms, hide_to_ms) after release
  int hide_to_ms = -1;
  bool markers = false;
  int noise = 0;
  bool inning_sign = true;
  bool hand_sign = true;
  int set_ms = default_set_ms;
  int take_back_ms = default_take_back_ms;
  int finish_ms = default_finish_ms;
  int after_ms = default_after_ms;
};

enum class step_kind { screen, pitch, absent };

// One step of the timeline, with the match state it shows.
struct step {
  step_kind kind = step_kind::screen;
  game_screen screen = game_screen::field;  // screen steps
  int duration_ms = 0;                      // screen and absent steps
  int inning = 1;
  half inning_half = half::top;
  int outs = 0;
  int balls = 0;
  int strikes = 0;
  std::string pitcher = "PITCHER";
  hand pitcher_hand = hand::right;
  pitch_plan pitch;  // pitch steps
};

struct scenario {
  desktop_layout desktop;
  uint64_t seed = 1;
  std::vector<step> steps;
  // Derived by `finish_scenario`: start time of every step, the index of the
  // pitch step after each step (-1: none), and the end.
  std::vector<int64_t> starts;
  std::vector<int> next_pitch;
  int64_t end_ms = 0;
};

// Length of a step in ms.
int step_length_ms(const step& s);

// Fills the derived fields; call after changing `steps`.
void finish_scenario(scenario& s);

// What the game shows at `time_ms`; nothing while the picture is absent or
// once the scenario is over (time_ms >= end_ms). Binary search over the steps.
std::optional<game_view> view_at(const scenario& s, int64_t time_ms);

// One pitch thrown, as the ground truth of what pitchlog should count.
struct truth_pitch {
  int n = 0;            // from 1 over the scenario
  int64_t time_ms = 0;  // the finish pose appears
  half inning_half = half::top;
  int pitcher_slot = 0;
  std::string pitcher;
  hand pitcher_hand = hand::right;
  pitchlog::pitch_type type = pitchlog::pitch_type::straight;
  int balls = 0;
  int strikes = 0;
};

std::vector<truth_pitch> truth_of(const scenario& s);

// One line of the truth log, without the newline.
std::string truth_line(const truth_pitch& p);

// Writes the whole truth log, one line per pitch, flushed per line.
void write_truth(std::ostream& out, const std::vector<truth_pitch>& pitches);

// Reads a scenario from JSON text; on failure returns nothing and says why in `error`.
std::optional<scenario> parse_scenario(std::string_view json_text, std::string& error);
std::optional<scenario> load_scenario(const std::string& path, std::string& error);

// The scenario as JSON in the form above, one step per line; a pitch's options
// are written only where they differ from a plain pitch.
std::string scenario_json(const scenario& s);

// A plausible whole game of `innings` innings, the same for the same seed:
// both teams pitch and change pitchers, both hands, all four types, counts
// with fouls, three outs per half, interludes, time-outs and cut-ins, and a
// game-set screen at the end.
scenario generate_scenario(uint64_t seed, int innings = 9);

// Cuts `s` after its `n`-th pitch: its last step (the game-set screen of a
// generated game) follows that pitch straight away. A scenario of `n` pitches
// or fewer stays whole. The pitches kept are those of the whole game.
void end_after_pitch(scenario& s, int n);

// Names used in the JSON and truth forms.
const char* screen_name(game_screen screen);
const char* type_name(pitchlog::pitch_type type);

}  // namespace practice
