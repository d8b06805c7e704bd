#pragma once
// The reference pictures under data/ and the one matching procedure every
// stage uses.
#include <array>
#include <string>
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "control/capture/capture_frame.h"  // colour_load, as_stored_load
#include "control/capture/data_path.h"

namespace pitchlog {

// The reference pictures: the eighteen of data/ loaded at start-up, in load
// order; the four signs of data/ loaded just before their one match; and the
// pitching team's name crop, cut by pitchlog itself into the working folder.
enum class template_id : int {
  game_area,                // 低め.png: the whole game picture, W x H
  count_no_ball_no_strike,  // ０ボール０ストライク.png
  count_two_strikes,        // ２ストライク.png
  ball_count,               // ボールカウント.png (loaded, never matched)
  versus_ground,            // グラウンド（対戦）画面・一部.png
  field_ground,             // グラウンド（フィールド）画面・一部.png
  time_out,                 // タイム画面・一部.png
  scoreboard,               // スコアボード画面・一部.png
  title,                    // タイトル画面・一部.png
  warning,                  // 警告画面・一部.png
  finish_pose_right,        // 投球フィニッシュポーズ（右投手）・一部.png
  finish_pose_left,         // 投球フィニッシュポーズ（左投手）・一部.png
  game_set,                 // ゲームセット画面・一部.png
  play_ball,                // プレイボール画面・一部.png
  opponent_time_out_wait,   // 相手のタイム待ち画面・一部.png
  take_back_pose_right,  // 投球テイクバックポーズ（右投手）・一部.png (loaded, never matched)
  take_back_pose_left,  // 投球テイクバックポーズ（左投手）・一部.png (loaded, never matched)
  half_game_area,     // resize-低め.png: the game picture at half size
  top_sign,           // オモテ.png (loaded for its match)
  bottom_sign,        // ウラ.png (loaded for its match)
  right_hand_sign,    // 右投手.png (loaded for its match)
  left_hand_sign,     // 左投手.png (loaded for its match)
  pitcher_name_crop,  // pitcher_name_bat.png or pitcher_name_field.png, not in data/
};
inline constexpr int template_count = 18;      // loaded at start-up
inline constexpr int data_picture_count = 22;  // every picture of data/

// File names (UTF-8) of the pictures of data/, indexed by template_id.
extern const std::array<std::string_view, data_picture_count> template_file_names;

// Whether the picture is loaded at start-up and kept for the run.
inline bool is_start_up_picture(template_id id) {
  return static_cast<int>(id) < template_count;
}

// The eighteen start-up pictures, indexed by template_id.
struct template_set {
  std::array<cv::Mat, template_count> images;
  const cv::Mat& operator[](template_id id) const { return images[static_cast<int>(id)]; }
};

// Loads all eighteen pictures in order (every load attempted); false when any is missing.
bool load_template_set(template_set& set);

// A picture of data/ read with colour_load; empty when it cannot be read.
cv::Mat load_data_picture(template_id id);

struct match_result {
  double best_score = 0.0;
  double worst_score = 0.0;
  cv::Point best_location;  // template's top-left corner, relative to the region
  cv::Point worst_location;
};

// Normalised correlation coefficient (TM_CCOEFF_NORMED) of `templ` inside
// `region` of `frame`. A region past the frame's edge, a template larger than
// the region, an empty or mismatched picture, or a template of a single colour
// (no pattern to correlate) gives best_score NaN (a miss).
match_result match_template(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& templ);

// The score map match_template takes its best and worst from: one score per
// position of the template's top-left corner inside `region` (CV_32F); empty
// wherever match_template gives NaN.
cv::Mat match_score_map(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& templ);

// The hit rule of every check: score strictly above the threshold; NaN misses.
inline bool is_hit(double score, double threshold) {
  return score > threshold;
}

}  // namespace pitchlog
