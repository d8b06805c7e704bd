#pragma once
// Drawn pictures for the ball search: smooth ground with no edges, the
// practice game's shaded anti-aliased ball (the kind the circle passes find),
// and a count of the marks the search draws.
#include <opencv2/core.hpp>

#include "practice/renderer.h"

namespace test_support {

// A smooth vertical green gradient with no pure green in it.
inline cv::Mat smooth_ground(cv::Size size) {
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    image.row(y).setTo(cv::Scalar(60, 130 + 100 * y / size.height, 70));
  return image;
}

// The practice game's ball with its anti-aliased rim `radius` from `centre`.
// A centre on a half pixel such as (100.5, 30.5) is where the circle search
// reports the ball.
inline void draw_ball(cv::Mat& image, cv::Point2d centre, double radius) {
  // The game's ball covers every pixel centre within its radius, so its rim
  // lies half a pixel further out.
  practice::draw_ball(image, static_cast<float>(centre.x), static_cast<float>(centre.y),
                      static_cast<float>(radius - 0.5), cv::Scalar(238, 238, 238));
}

// Number of pure green (0, 255, 0) pixels: the marks the ball search draws.
inline int marked_pixels(const cv::Mat& image) {
  cv::Mat green;
  cv::inRange(image, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
  return cv::countNonZero(green);
}

}  // namespace test_support
