#pragma once
// A template check: one reference picture matched in one region of the game
// picture, hit when the best score is strictly above a threshold.
#include <opencv2/core/mat.hpp>

#include "control/template_store.h"

namespace pitchlog {

// Picture `id` matched in (x0 + x, y0 + y, w, h), hit when the best score > threshold.
struct template_check {
  template_id id;
  int x;
  int y;
  int w;
  int h;
  double threshold;
};

// The region (x0 + x, y0 + y, w, h) of a check for the game picture at `origin`.
inline cv::Rect game_region(cv::Point origin, int x, int y, int w, int h) {
  return {origin.x + x, origin.y + y, w, h};
}

// Best score of `templ` in that region of `frame`; NaN (a miss) when the
// region leaves the frame or a picture is missing.
inline double region_score(const cv::Mat& frame, cv::Point origin, int x, int y, int w, int h,
                           const cv::Mat& templ) {
  return match_template(frame, game_region(origin, x, y, w, h), templ).best_score;
}

// Best score of check `c` on `frame` for the game picture at `origin`.
inline double check_score(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                          const template_check& c) {
  return region_score(frame, origin, c.x, c.y, c.w, c.h, templates[c.id]);
}

}  // namespace pitchlog
