#include "pitch/ball_detector.h"

#include <array>
#include <cstddef>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace pitchlog {
namespace {

enum class plane { luma, cr, cb };

// One Hough circle pass: the plane searched, the accumulator threshold and the
// inclusive radius range in pixels.
struct circle_pass {
  plane source;
  int accumulator_threshold;
  int min_radius;
  int max_radius;
};

// The cascade, tried in this order until a pass yields a circle.
constexpr std::array<circle_pass, 23> circle_passes{{
    {plane::luma, 45, 6, 13},  // 1
    {plane::cb, 54, 8, 13},    // 2
    {plane::cb, 44, 9, 13},    // 3
    {plane::cr, 52, 6, 14},    // 4
    {plane::cr, 38, 9, 12},    // 5
    {plane::cr, 40, 7, 10},    // 6
    {plane::luma, 42, 7, 14},  // 7
    {plane::cr, 47, 7, 13},    // 8
    {plane::cr, 39, 9, 13},    // 9
    {plane::cr, 40, 8, 12},    // 10
    {plane::luma, 25, 8, 10},  // 11
    {plane::cb, 44, 5, 13},    // 12
    {plane::luma, 31, 6, 10},  // 13
    {plane::cb, 30, 7, 9},     // 14
    {plane::cb, 26, 7, 9},     // 15
    {plane::luma, 24, 7, 9},   // 16
    {plane::luma, 34, 5, 11},  // 17
    {plane::cb, 34, 6, 11},    // 18
    {plane::cb, 39, 5, 12},    // 19
    {plane::cb, 30, 5, 11},    // 20
    {plane::luma, 27, 6, 9},   // 21
    {plane::cb, 23, 6, 9},     // 22
    {plane::cb, 21, 7, 9},     // 23
}};

// Shared by every pass: gradient method at resolution 1, centres at least
// 250 px apart, upper edge threshold 3.
constexpr double hough_resolution = 1.0;
constexpr double hough_min_centre_distance = 250.0;
constexpr double hough_edge_threshold = 3.0;

const cv::Mat& plane_of(const ball_work_images& work, plane source) {
  switch (source) {
    case plane::luma:
      return work.luma_plane;
    case plane::cr:
      return work.cr_plane;
    case plane::cb:
      break;
  }
  return work.cb_plane;
}

// The circles of one pass. The classic search prepares each plane's edges,
// gradients and edge list the first time a pass of this frame needs them.
void run_pass(const circle_pass& pass, ball_state& ball, std::array<bool, 3>& prepared) {
  ball_work_images& work = ball.work;
  const cv::Mat& source = plane_of(work, pass.source);
  if (ball.other_search != nullptr) {
    // cv::HoughCircles leaves its output as it was when it finds nothing.
    work.circles.clear();
    ball.other_search(source, hough_resolution, hough_min_centre_distance, hough_edge_threshold,
                      pass.accumulator_threshold, pass.min_radius, pass.max_radius, work.circles);
    return;
  }
  const auto index = static_cast<std::size_t>(pass.source);
  if (!prepared[index]) {
    prepare_circle_plane(source, hough_edge_threshold, hough_resolution, work.circle_buffers,
                         work.circle_planes[index]);
    prepared[index] = true;
  }
  const circle_pass_settings settings{pass.accumulator_threshold, pass.min_radius, pass.max_radius,
                                      hough_min_centre_distance, ball.judge_last_run};
  find_circles(work.circle_planes[index], settings, work.circle_buffers, work.circles);
}

// The work images fit this view: same size, three 8-bit-per-sample planes
// ready, and a view of the same sample type as the YCrCb image.
bool work_images_fit(const ball_work_images& work, const cv::Mat& view) {
  const cv::Size size = work.ycrcb_image.size();
  const int plane_type = CV_MAKETYPE(work.ycrcb_image.depth(), 1);
  return !view.empty() && view.dims == 2 && view.size() == size &&
         view.type() == work.ycrcb_image.type() && work.ycrcb_image.channels() == 3 &&
         work.luma_plane.size() == size && work.luma_plane.type() == plane_type &&
         work.cr_plane.size() == size && work.cr_plane.type() == plane_type &&
         work.cb_plane.size() == size && work.cb_plane.type() == plane_type;
}

}  // namespace

cv::Rect ball_search_region(cv::Point game_origin, cv::Size game_size) {
  const double top =
      static_cast<double>(game_origin.y) + 0.37 * static_cast<double>(game_size.height);
  const double height = 0.63 * static_cast<double>(game_size.height);
  return {game_origin.x, static_cast<int>(top), game_size.width, static_cast<int>(height)};
}

void make_ball_work_images(ball_work_images& work, cv::Size region_size, int depth) {
  work = ball_work_images{};
  work.ycrcb_image.create(region_size, CV_MAKETYPE(depth, 3));
  work.luma_plane.create(region_size, CV_MAKETYPE(depth, 1));
  work.cr_plane.create(region_size, CV_MAKETYPE(depth, 1));
  work.cb_plane.create(region_size, CV_MAKETYPE(depth, 1));
  work.circles.reserve(16);
}

void release_ball_search_memory(ball_work_images& work) {
  work.circle_planes = {};
  work.circle_buffers = {};
  work.circles = {};
}

void mark_ball(cv::Mat& view, const cv::Vec3f& circle) {
  const cv::Point centre(cvRound(circle[0]), cvRound(circle[1]));
  cv::circle(view, centre, cvRound(circle[2]), cv::Scalar(0, 255, 0), 3, cv::LINE_8, 0);
}

int detect_ball(cv::Mat search_region, ball_state& ball) {
  // Only an x of exactly 0 asks for a search; NaN does not.
  if (!(ball.position.x == 0.0f)) return 0;
  // A clipped or foreign view (game picture at the desktop's edge, a missing
  // frame) is a frame without a ball.
  ball_work_images& work = ball.work;
  if (!work_images_fit(work, search_region)) return 0;

  // Both write into the preallocated work images; neither reallocates them
  // because sizes and types were checked above.
  cv::cvtColor(search_region, work.ycrcb_image, cv::COLOR_BGR2YCrCb);
  std::array<cv::Mat, 3> planes{work.luma_plane, work.cr_plane, work.cb_plane};
  constexpr std::array<int, 6> channel_pairs{0, 0, 1, 1, 2, 2};
  cv::mixChannels(&work.ycrcb_image, 1, planes.data(), planes.size(), channel_pairs.data(), 3);

  std::array<bool, 3> prepared{};
  for (std::size_t i = 0; i < circle_passes.size(); ++i) {
    run_pass(circle_passes[i], ball, prepared);
    // Every circle is marked; the last one listed (the weakest) is kept.
    for (const cv::Vec3f& circle : work.circles) {
      mark_ball(search_region, circle);
      ball.position = {circle[0], circle[1]};
    }
    if (ball.position.x != 0.0f) return static_cast<int>(i) + 1;
  }
  return 0;
}

void search_ball(cv::Mat& frame, const cv::Rect& region, ball_state& ball) {
  const cv::Rect inside = region & cv::Rect(0, 0, frame.cols, frame.rows);
  if (inside.empty() || frame.type() != CV_8UC3) return;
  detect_ball(frame(inside), ball);
}

}  // namespace pitchlog
