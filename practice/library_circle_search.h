#pragma once
// The installed OpenCV's own Hough gradient search, in the form the ball
// cascade can run in place of pitchlog's circle search: the reference the
// tests and benchmarks compare pitchlog's search with.
#include <vector>

#include <opencv2/imgproc.hpp>

namespace practice {

inline void library_circle_search(const cv::Mat& plane, double resolution,
                                  double min_centre_distance, double edge_threshold,
                                  int accumulator_threshold, int min_radius, int max_radius,
                                  std::vector<cv::Vec3f>& circles) {
  cv::HoughCircles(plane, circles, cv::HOUGH_GRADIENT, resolution, min_centre_distance,
                   edge_threshold, accumulator_threshold, min_radius, max_radius);
}

}  // namespace practice
