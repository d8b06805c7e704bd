#pragma once
// Finding the ball in one burst frame with a fixed cascade of Hough circle passes.
#include <array>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "pitch/circle_search.h"

namespace pitchlog {

// Ball centre in search-region coordinates; x == 0 means no ball.
struct ball_position {
  float x = 0.0f;
  float y = 0.0f;
};

// Reused by every search; made once per lock at the size of the search region.
struct ball_work_images {
  cv::Mat ycrcb_image;  // three channels
  cv::Mat luma_plane;   // Y
  cv::Mat cr_plane;     // Cr
  cv::Mat cb_plane;     // Cb
  // The circle search's edge list per plane (Y, Cr, Cb), its working memory
  // and the circles of the last pass: made by the first search of a burst,
  // reused by every pass and frame of it, freed when its analysis ends.
  std::array<circle_plane, 3> circle_planes;
  circle_search_buffers circle_buffers;
  std::vector<cv::Vec3f> circles;
};

// Another circle search run by the cascade in place of its own, to compare the
// two: the arguments of cv::HoughCircles with the gradient method (plane,
// resolution, minimum centre distance, upper edge threshold, accumulator
// threshold, radius range), filling `circles`.
using circle_search_function = void (*)(const cv::Mat& plane, double resolution,
                                        double min_centre_distance, double edge_threshold,
                                        int accumulator_threshold, int min_radius, int max_radius,
                                        std::vector<cv::Vec3f>& circles);

struct ball_state {
  ball_position position;
  ball_work_images work;
  // Null (as in pitchlog): the cascade runs the classic circle search.
  circle_search_function other_search = nullptr;
  // False only to measure the classic search's old fault (circle_pass_settings).
  bool judge_last_run = true;
};

// The region of a burst frame searched for the ball: x0, trunc(y0 + 0.37 * H),
// width W, height trunc(0.63 * H), for the game picture W x H at (x0, y0).
cv::Rect ball_search_region(cv::Point game_origin, cv::Size game_size);

// (Re)makes the four work images for a search region of this size and sample depth.
void make_ball_work_images(ball_work_images& work, cv::Size region_size, int depth);

// Frees the circle search's memory (a few MB), keeping the four images: a
// burst's analysis calls it when it ends, so that the next burst is captured
// without it.
void release_ball_search_memory(ball_work_images& work);

// Draws the mark of one found circle (centre x, y, radius) into the view:
// pure green, 3 px, 8-connected, each value rounded half to even.
void mark_ball(cv::Mat& view, const cv::Vec3f& circle);

// Searches `search_region` (a view into the frame) for the ball when
// ball.position.x is exactly 0; draws every circle found into the view and
// leaves the last circle of the first successful pass in ball.position. A view
// whose size differs from the work images is a frame without a ball. Returns
// the pass (1 to 23) that found the ball, or 0.
int detect_ball(cv::Mat search_region, ball_state& ball);

// detect_ball on `region` of `frame`. A region cut by the frame's edge no
// longer fits the work images, and a frame of another kind than a 24-bit
// capture cannot be searched: both read as a frame without a ball.
void search_ball(cv::Mat& frame, const cv::Rect& region, ball_state& ball);

}  // namespace pitchlog
