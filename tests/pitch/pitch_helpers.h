#pragma once
// Test helpers for pitch analysis: drawn pictures (smooth ground and shaded,
// anti-aliased balls, the kind the circle passes find), mark counting, and
// comparison and printing of track points.
#include <algorithm>
#include <cmath>
#include <ostream>

#include <opencv2/core.hpp>

#include "pitch/pitch_classifier.h"

namespace pitchlog {

inline bool operator==(track_point a, track_point b) {
  return a.x == b.x && a.y == b.y;
}

inline std::ostream& operator<<(std::ostream& out, track_point p) {
  return out << "(" << p.x << ", " << p.y << ")";
}

}  // namespace pitchlog

namespace pitch_test {

// A smooth vertical green gradient with no pure green in it.
inline cv::Mat smooth_ground(cv::Size size) {
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    image.row(y).setTo(cv::Scalar(60, 130 + 100 * y / size.height, 70));
  return image;
}

// A radially shaded white ball, 8 x 8 supersampled. Pixel (i, j) covers
// [i, i + 1) x [j, j + 1), so a centre of (100.5, 30.5) is the middle of pixel
// (100, 30), which is how the circle search reports centres.
inline void draw_ball(cv::Mat& image, cv::Point2d centre, double radius) {
  constexpr int samples = 8;
  const cv::Vec3d white(235, 238, 242);
  const int x0 = std::max(0, static_cast<int>(centre.x - radius) - 1);
  const int y0 = std::max(0, static_cast<int>(centre.y - radius) - 1);
  const int x1 = std::min(image.cols - 1, static_cast<int>(centre.x + radius) + 1);
  const int y1 = std::min(image.rows - 1, static_cast<int>(centre.y + radius) + 1);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      cv::Vec3d ball(0, 0, 0);
      int inside = 0;
      for (int j = 0; j < samples; ++j) {
        for (int i = 0; i < samples; ++i) {
          const double dx = (x + (i + 0.5) / samples - centre.x) / radius;
          const double dy = (y + (j + 0.5) / samples - centre.y) / radius;
          const double d2 = dx * dx + dy * dy;
          if (d2 > 1.0) continue;
          ++inside;
          ball += white * (0.8 + 0.2 * std::sqrt(1.0 - d2));
        }
      }
      cv::Vec3b& pixel = image.at<cv::Vec3b>(y, x);
      const double ground_share = samples * samples - inside;
      for (int c = 0; c < 3; ++c) {
        pixel[c] =
            cv::saturate_cast<uchar>((ball[c] + pixel[c] * ground_share) / (samples * samples));
      }
    }
  }
}

// The radius at which the first circle pass finds drawn balls reliably.
inline constexpr double found_radius = 12.5;

// Number of pure green (0, 255, 0) pixels: the marks the detector draws.
inline int marked_pixels(const cv::Mat& image) {
  cv::Mat green;
  cv::inRange(image, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
  return cv::countNonZero(green);
}

}  // namespace pitch_test
