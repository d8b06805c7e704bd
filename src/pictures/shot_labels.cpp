#include "pictures/shot_labels.h"

namespace pitchlog {

namespace {
using c = count_shown;
using p = pose_shown;
using s = side_shown;
constexpr int versus = 0, field = 1, time_out = 2, scoreboard = 3, opponent_wait = 4, title = 5,
              game_set = 6, warning = 7;
}  // namespace

// clang-format off
const std::array<shot_label, label_count> shot_labels = {{
  {"title", "the title screen", title},
  {"warning", "the warning screen", warning},
  {"play_ball", "the play-ball screen at the start of a game", -1},
  {"versus",
   "the pitcher-versus-batter view at no balls, no strikes in the top half of an inning; the "
   "pitcher standing set",
   versus, c::no_ball_no_strike, p::set, s::unknown, s::right},
  {"versus_two_strikes",
   "the versus view at two strikes (any balls), in the top half like versus, so that only the "
   "count differs; the pitcher set",
   versus, c::two_strikes, p::set, s::unknown, s::right},
  {"versus_other_count",
   "the versus view at one ball, no strikes (or any count but 0-0 and two strikes), in the top "
   "half like versus; the pitcher set",
   versus, c::neither, p::set, s::unknown, s::right},
  {"take_back_right", "a right-handed pitcher's take-back, the arm drawn back before the throw",
   versus, c::unknown, p::take_back, s::right},
  {"finish_right", "a right-handed pitcher's finish pose, the follow-through as the ball leaves",
   versus, c::unknown, p::finish, s::right},
  {"take_back_left", "a left-handed pitcher's take-back, the arm drawn back before the throw",
   versus, c::unknown, p::take_back, s::left},
  {"finish_left", "a left-handed pitcher's finish pose, the follow-through as the ball leaves",
   versus, c::unknown, p::finish, s::left},
  {"field", "the field view, after the ball is hit", field},
  {"time_out", "the time-out screen", time_out},
  {"scoreboard", "the scoreboard", scoreboard},
  {"opponent_time_out_wait", "the screen that waits for the opponent's time-out", opponent_wait},
  {"game_set", "the game-set screen", game_set},
  {"inning_top",
   "the versus view in the top half of an inning (its inning sign) at no balls, no strikes like "
   "inning_bottom, so that only the sign differs; the pitcher set",
   versus, c::no_ball_no_strike, p::set, s::unknown, s::right},
  {"inning_bottom",
   "the versus view in the bottom half of an inning (its inning sign) at no balls, no strikes "
   "like inning_top, so that only the sign differs; the pitcher set",
   versus, c::no_ball_no_strike, p::set, s::unknown, s::left},
  {"hand_right",
   "the versus view with a right-handed pitcher (his hand sign) at no balls, no strikes like "
   "hand_left, so that only the pitcher differs; the pitcher set",
   versus, c::no_ball_no_strike, p::set, s::right, s::unknown, s::right},
  {"hand_left",
   "the versus view with a left-handed pitcher (his hand sign) at no balls, no strikes like "
   "hand_right, so that only the pitcher differs; the pitcher set",
   versus, c::no_ball_no_strike, p::set, s::left, s::unknown, s::left},
}};

// The label of the shot each picture is cut from, in template_id order.
const std::array<int, data_picture_count> picture_shot = {
  3,   // 低め.png: the whole game picture, from the versus view at 0-0
  3,   // ０ボール０ストライク.png
  4,   // ２ストライク.png
  3,   // ボールカウント.png
  3,   // グラウンド（対戦）画面・一部.png
  10,  // グラウンド（フィールド）画面・一部.png
  11,  // タイム画面・一部.png
  12,  // スコアボード画面・一部.png
  0,   // タイトル画面・一部.png
  1,   // 警告画面・一部.png
  7,   // 投球フィニッシュポーズ（右投手）・一部.png
  9,   // 投球フィニッシュポーズ（左投手）・一部.png
  14,  // ゲームセット画面・一部.png
  2,   // プレイボール画面・一部.png
  13,  // 相手のタイム待ち画面・一部.png
  6,   // 投球テイクバックポーズ（右投手）・一部.png
  8,   // 投球テイクバックポーズ（左投手）・一部.png
  3,   // resize-低め.png: the game picture at half size
  15,  // オモテ.png
  16,  // ウラ.png
  17,  // 右投手.png
  18,  // 左投手.png
};
// clang-format on

std::optional<int> label_index(std::string_view name) {
  for (int i = 0; i < label_count; ++i) {
    if (shot_labels[i].name == name) return i;
  }
  return std::nullopt;
}

std::string label_list() {
  std::string list;
  for (const shot_label& l : shot_labels) {
    if (!list.empty()) list += ", ";
    list += l.name;
  }
  return list;
}

}  // namespace pitchlog
