#pragma once
// Finding the ball in one burst frame with a fixed cascade of Hough circle passes.
#include <opencv2/core/mat.hpp>

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
};

struct ball_state {
  ball_position position;
  ball_work_images work;
};

// The region of a burst frame searched for the ball: x0, trunc(y0 + 0.37 * H),
// width W, height trunc(0.63 * H), for the game picture W x H at (x0, y0).
cv::Rect ball_search_region(cv::Point game_origin, cv::Size game_size);

// (Re)makes the four work images for a search region of this size and sample depth.
void make_ball_work_images(ball_work_images& work, cv::Size region_size, int depth);

// Draws the mark of one found circle (centre x, y, radius) into the view:
// pure green, 3 px, 8-connected, each value rounded half to even.
void mark_ball(cv::Mat& view, const cv::Vec3f& circle);

// Searches `search_region` (a view into the frame) for the ball when
// ball.position.x is exactly 0; draws every circle found into the view and
// leaves the last circle of the first successful pass in ball.position. A view
// whose size differs from the work images is a frame without a ball.
void detect_ball(cv::Mat search_region, ball_state& ball);

// detect_ball on `region` of `frame`. A region cut by the frame's edge no
// longer fits the work images, and a frame of another kind than a 24-bit
// capture cannot be searched: both read as a frame without a ball.
void search_ball(cv::Mat& frame, const cv::Rect& region, ball_state& ball);

}  // namespace pitchlog
