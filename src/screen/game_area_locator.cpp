#include "screen/game_area_locator.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/templates/checks.h"
#include "screen/capture_frame.h"

namespace pitchlog {
namespace {

// Pixels from a position or size worked out in double precision: truncation toward zero.
int trunc_px(double value) {
  return static_cast<int>(value);
}

enum class coarse_result { hit, miss, unreadable };

// The coarse search on an attempt's first capture (released here): the
// half-size copy goes through "resize-capture.bmp" and is searched whole.
coarse_result coarse_search(cv::Mat& capture, const cv::Mat& half_template, cv::Point& hit) {
  const cv::Size size = half_size(capture.size());
  // A capture too small to halve cannot show the game picture.
  if (size.empty()) return coarse_result::miss;
  cv::Mat half(size, CV_8UC3);
  cv::resize(capture, half, size, 0, 0, cv::INTER_LINEAR);
  capture.release();
  const bool written = cv::imwrite(half_capture_file_name, half);
  half.release();
  // An unwritten file would leave an older copy to be read back.
  if (!written) return coarse_result::unreadable;
  half = colour_load(half_capture_file_name);
  if (half.empty()) return coarse_result::unreadable;
  const match_result m = match_template(half, cv::Rect(0, 0, half.cols, half.rows), half_template);
  if (!is_hit(m.best_score, check_of(check_id::coarse_search).threshold))
    return coarse_result::miss;
  hit = m.best_location;
  return coarse_result::hit;
}

// The full-size search around the coarse hit, on a new capture.
bool refine(const cv::Mat& capture, cv::Point coarse_hit, const cv::Mat& game_template,
            cv::Point& origin) {
  const cv::Rect window = refinement_window(coarse_hit, capture.size(), game_template.size());
  // Only reachable when the two captures of the attempt differ in size.
  if (window.width < game_template.cols || window.height < game_template.rows) return false;
  const match_result m = match_template(capture, window, game_template);
  if (!is_hit(m.best_score, check_of(check_id::refinement).threshold)) return false;
  origin = locked_origin(coarse_hit, m.best_location);
  return true;
}

// Keeps capturing while the play-ball picture shows in the game area; false
// when a capture cannot be loaded.
bool play_ball_wait(const platform& p, const template_set& templates, cv::Point origin) {
  const template_check& play_ball = check_of(check_id::play_ball);
  for (;;) {
    const cv::Mat capture = capture_frame(p);
    if (capture.empty()) return false;
    if (!is_hit(check_score(capture, templates, origin, play_ball), play_ball.threshold))
      return true;
  }
}

}  // namespace

cv::Size half_size(cv::Size capture) {
  return {trunc_px(capture.width * 0.5), trunc_px(capture.height * 0.5)};
}

cv::Rect refinement_window(cv::Point coarse_hit, cv::Size capture, cv::Size game) {
  const double hx = coarse_hit.x;
  const double hy = coarse_hit.y;
  const int x = trunc_px(1.8 * hx);
  const int y = trunc_px(1.8 * hy);
  // Where 2.2 times the hit plus the game size passes the capture's edge, the
  // window runs to the edge. Measured from the truncated corner, so that the
  // last column and row are in it: trunc(Wc - 1.8 * hx) falls one short
  // whenever 1.8 * hx has a fraction, and a game picture flush with the edge
  // would lock one pixel off.
  const int width =
      capture.width >= 2.2 * hx + game.width ? trunc_px(0.4 * hx + game.width) : capture.width - x;
  const int height = capture.height >= 2.2 * hy + game.height ? trunc_px(0.4 * hy + game.height)
                                                              : capture.height - y;
  return {x, y, width, height};
}

cv::Point locked_origin(cv::Point coarse_hit, cv::Point best_in_window) {
  return {trunc_px(1.8 * coarse_hit.x + best_in_window.x),
          trunc_px(1.8 * coarse_hit.y + best_in_window.y)};
}

lock_result locate_game_area(const platform& p, const template_set& templates,
                             locator_state& locator) {
  const cv::Mat& game_template = templates[template_id::game_area];
  lock_result lock;
  for (;;) {
    cv::Mat capture = capture_frame(p);
    if (capture.empty()) return lock;

    cv::Point coarse_hit;
    const coarse_result coarse =
        coarse_search(capture, templates[template_id::half_game_area], coarse_hit);
    if (coarse == coarse_result::miss) {
      if (locator.locator_miss_count < locator_miss_limit) ++locator.locator_miss_count;
      continue;
    }
    if (coarse == coarse_result::unreadable) continue;

    capture_screen(p);
    capture = colour_load(capture_file_name);
    if (capture.empty()) continue;
    cv::Point origin;
    if (!refine(capture, coarse_hit, game_template, origin)) continue;
    capture.release();

    // The lock. A play-ball wait cut short by an unreadable capture starts a
    // new attempt, but the record still empties if this lock said so.
    locator.game_origin = origin;
    lock.empty_record = lock.empty_record || locator.locator_miss_count == locator_miss_limit;
    locator.locator_miss_count = 0;
    if (play_ball_wait(p, templates, origin)) {
      lock.outcome = locate_outcome::locked;
      return lock;
    }
  }
}

}  // namespace pitchlog
