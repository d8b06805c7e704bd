#include "screen/pitch_context.h"

#include <cmath>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "control/templates/checks.h"
#include "control/templates/template_store.h"

namespace pitchlog {
namespace {

// Best score of a sign from the data folder, loaded just for this match and
// released after it; a sign that cannot be read scores NaN, a miss.
double sign_score(const cv::Mat& frame, cv::Point origin, check_id id) {
  const template_check& c = check_of(id);
  return check_score(frame, load_data_picture(c.id), c, origin, {});
}

// Saves the name region of `frame` as the team's crop, replacing the old one.
void write_crop(const cv::Mat& frame, const cv::Rect& region, const std::string& file) {
  if ((region & cv::Rect(0, 0, frame.cols, frame.rows)) != region) return;
  cv::imwrite(file, frame(region));
}

// Compares the pitcher's name with the team's crop; true on a change. A
// team's first pitch since start or since the record was emptied only saves
// its crop.
bool identify_pitcher(const cv::Mat& frame, cv::Point origin, team t, const pitch_record& record) {
  const std::string file(crop_file(t));
  const template_check& name = check_of(check_id::pitcher_name);
  const cv::Rect region = check_region(name, origin, {});
  if (record.teams[static_cast<int>(t)].pitchers[0].pitch_count == 0) {
    write_crop(frame, region, file);
    return false;
  }
  const double score = match_template(frame, region, colour_load(file)).best_score;
  // A lost or unmatchable crop (unreadable, replaced by a picture of another
  // size) cannot tell a change: same pitcher, and the crop is saved anew so
  // that the next pitch can tell again.
  if (std::isnan(score)) {
    write_crop(frame, region, file);
    return false;
  }
  if (!is_new_pitcher(score)) return false;
  write_crop(frame, region, file);
  return true;
}

// What a close call chose: `first`, `second`, or `neither` when it chose none.
template <typename T>
T by_close_call(close_call call, T first, T second, T neither) {
  return call == close_call::first ? first : call == close_call::second ? second : neither;
}

}  // namespace

inning_half inning_from_scores(double top_score, double bottom_score, const close_call_rule& rule) {
  inning_half half = inning_half::undecided;
  if (is_hit(top_score, check_of(check_id::inning_top).threshold)) half = inning_half::top;
  if (is_hit(bottom_score, check_of(check_id::inning_bottom).threshold)) half = inning_half::bottom;
  if (half != inning_half::undecided) return half;
  return by_close_call(decide_close_call(top_score, bottom_score, rule), inning_half::top,
                       inning_half::bottom, half);
}

bool is_new_pitcher(double name_score) {
  return name_score < check_of(check_id::pitcher_name).threshold;
}

pitcher_hand hand_from_scores(double right_score, double left_score, pitcher_hand previous,
                              const close_call_rule& rule) {
  const bool right = is_hit(right_score, check_of(check_id::hand_right).threshold);
  const bool left = is_hit(left_score, check_of(check_id::hand_left).threshold);
  if (left) return pitcher_hand::left;
  if (right) return pitcher_hand::right;
  return by_close_call(decide_close_call(right_score, left_score, rule), pitcher_hand::right,
                       pitcher_hand::left, previous);
}

pitch_identity identify_pitch_context(frame_burst& burst, cv::Point origin,
                                      const pitch_record& record, context_state& context) {
  const cv::Mat& frame = burst.frames[0];
  pitch_identity id;

  const double top = sign_score(frame, origin, check_id::inning_top);
  const double bottom = sign_score(frame, origin, check_id::inning_bottom);
  id.top_sign = is_hit(top, check_of(check_id::inning_top).threshold);
  id.bottom_sign = is_hit(bottom, check_of(check_id::inning_bottom).threshold);
  context.half = inning_from_scores(top, bottom, context.close_calls);
  // A close call decided counts as that sign's hit.
  id.top_sign = id.top_sign || (!id.bottom_sign && context.half == inning_half::top);
  id.bottom_sign = id.bottom_sign || (!id.top_sign && context.half == inning_half::bottom);
  // Undecided: every frame stays for the inspection windows.
  if (context.half == inning_half::undecided) return id;
  burst.trigger_frame.release();

  id.new_pitcher = identify_pitcher(frame, origin, pitching_team(context.half), record);

  const double right = sign_score(frame, origin, check_id::hand_right);
  const double left = sign_score(frame, origin, check_id::hand_left);
  context.hand = hand_from_scores(right, left, context.hand, context.close_calls);

  burst.frames[0].release();
  burst.frames[1].release();
  return id;
}

}  // namespace pitchlog
