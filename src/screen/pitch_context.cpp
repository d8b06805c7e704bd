#include "screen/pitch_context.h"

#include <cmath>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "control/template_store.h"
#include "screen/template_check.h"

namespace pitchlog {
namespace {

cv::Rect region_of(cv::Point origin, const context_region& r) {
  return game_region(origin, r.x, r.y, r.w, r.h);
}

// Best score of a picture from the data folder, loaded just for this match and
// released after it; a picture that cannot be read scores NaN, a miss.
double sign_score(const cv::Mat& frame, cv::Point origin, const context_region& r,
                  std::string_view file) {
  const cv::Mat sign = colour_load(data_path(file));
  return match_template(frame, region_of(origin, r), sign).best_score;
}

// Saves the name region of `frame` as the team's crop, replacing the old one.
void write_crop(const cv::Mat& frame, const cv::Rect& region, const std::string& file) {
  if ((region & cv::Rect(0, 0, frame.cols, frame.rows)) != region) return;
  cv::imwrite(file, frame(region));
}

// Compares the pitcher's name with the team's crop and advances the team on a
// change. A team's first pitch since start or reset only saves its crop.
void identify_pitcher(const cv::Mat& frame, cv::Point origin, team t, pitch_record& record) {
  const std::string file(crop_file(t));
  const cv::Rect region = region_of(origin, name_region);
  if (record.teams[static_cast<int>(t)].pitchers[0].pitch_count == 0) {
    write_crop(frame, region, file);
    return;
  }
  const cv::Mat crop = colour_load(file);
  const double score = match_template(frame, region, crop).best_score;
  // A lost or unmatchable crop (unreadable, replaced by a picture of another
  // size) cannot tell a change: same pitcher, and the crop is saved anew so
  // that the next pitch can tell again.
  if (std::isnan(score)) {
    write_crop(frame, region, file);
    return;
  }
  if (is_new_pitcher(score)) {
    advance_pitcher(record, t);
    write_crop(frame, region, file);
  }
}

}  // namespace

inning_half inning_from_scores(double top_score, double bottom_score) {
  inning_half half = inning_half::undecided;
  if (is_hit(top_score, sign_threshold)) half = inning_half::top;
  if (is_hit(bottom_score, sign_threshold)) half = inning_half::bottom;
  return half;
}

pitcher_hand hand_from_scores(double right_score, double left_score, pitcher_hand previous) {
  pitcher_hand hand = previous;
  if (is_hit(right_score, sign_threshold)) hand = pitcher_hand::right;
  if (is_hit(left_score, sign_threshold)) hand = pitcher_hand::left;
  return hand;
}

bool identify_pitch_context(frame_burst& burst, cv::Point origin, int32_t first_pitch_flag,
                            int32_t two_strike_flag, context_state& context, pitch_record& record) {
  const cv::Mat& frame = burst.frames[0];

  const double top = sign_score(frame, origin, inning_region, top_sign_file);
  if (is_hit(top, sign_threshold)) mark_has_pitched(record, team::batting_second);
  const double bottom = sign_score(frame, origin, inning_region, bottom_sign_file);
  if (is_hit(bottom, sign_threshold)) mark_has_pitched(record, team::batting_first);
  context.half = inning_from_scores(top, bottom);
  // Undecided: every frame stays for the inspection windows.
  if (context.half == inning_half::undecided) return false;
  burst.trigger_frame.release();

  const team pitching = pitching_team(context.half);
  identify_pitcher(frame, origin, pitching, record);
  count_pitcher_pitch(record, pitching, first_pitch_flag, two_strike_flag);

  const double right = sign_score(frame, origin, hand_region, right_hand_sign_file);
  const double left = sign_score(frame, origin, hand_region, left_hand_sign_file);
  context.hand = hand_from_scores(right, left, context.hand);

  burst.frames[0].release();
  burst.frames[1].release();
  return true;
}

}  // namespace pitchlog
