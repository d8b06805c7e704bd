#include "control/templates/checks.h"

#include <limits>

namespace pitchlog {

cv::Rect check_region(const template_check& c, cv::Point origin, cv::Size game) {
  if (c.w == computed || c.h == computed) return {};
  const int w = c.w == whole_game ? game.width : c.w;
  const int h = c.h == whole_game ? game.height : c.h;
  return {origin.x + c.x, origin.y + c.y, w, h};
}

close_call decide_close_call(double first, double second, const close_call_rule& rule) {
  if (!rule.on) return close_call::neither;
  // NaN compares false everywhere, so a missing score neither wins nor loses.
  if (first > rule.floor && !(second >= first - rule.lead)) return close_call::first;
  if (second > rule.floor && !(first >= second - rule.lead)) return close_call::second;
  return close_call::neither;
}

cv::Mat check_picture(const template_set& templates, const template_check& c) {
  return is_start_up_picture(c.id) ? templates[c.id] : load_data_picture(c.id);
}

double check_score(const cv::Mat& frame, const cv::Mat& picture, const template_check& c,
                   cv::Point origin, cv::Size game) {
  const cv::Rect region = check_region(c, origin, game);
  if (region.empty()) return std::numeric_limits<double>::quiet_NaN();
  return match_template(frame, region, picture).best_score;
}

double check_score(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                   const template_check& c) {
  return check_score(frame, check_picture(templates, c), c, origin,
                     templates[template_id::game_area].size());
}

}  // namespace pitchlog
