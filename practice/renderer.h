#pragma once
// Draws the practice game's 720 x 480 picture for one game_view.
//
// Picture coordinates are OpenCV's: pixel (i, j) is centred at (i, j). The
// ball sprite sits on the pixel grid: it is drawn at the half pixel nearest
// its centre (x.5, y.5), which is where a Hough circle search reports it.
// Every figure that can fall inside the ball search rows (177 and below) is a
// polygon with flat fills, so the only round things there are the ball and
// the optional markers.
#include <array>
#include <string>

#include <opencv2/core/mat.hpp>

#include "practice/game_view.h"

namespace practice {

inline constexpr int screen_count = static_cast<int>(game_screen::cut_in) + 1;

// Game-picture positions of the two round markers the tracker ignores (the
// search region starts at row 177, so they sit at search-region (235, 79) and
// (317.5, 79)), and their radius.
inline constexpr float marker_x[2] = {235.0f, 317.5f};
inline constexpr float marker_y = 256.0f;
inline constexpr float marker_radius = 9.0f;

// Static layers kept between frames: every screen's base picture, and the
// versus view with each pitcher pose and hand. Owned by the caller, filled on
// first use; reuse one per drawing loop to draw a frame in well under 1 ms.
struct render_cache {
  std::array<cv::Mat, screen_count> screens;
  std::array<cv::Mat, 6> versus_poses;  // index: 2 * pose + hand
  cv::Mat hard_versus;                  // the hard difficulty's versus view without pitcher
  std::array<cv::Mat, 6> hard_versus_poses;
};

// Makes `picture` the 720 x 480 CV_8UC3 (BGR) game picture of `view`.
void render_game(const game_view& view, render_cache& cache, cv::Mat& picture);

// The same, drawing every layer afresh (a few milliseconds).
void render_game(const game_view& view, cv::Mat& picture);

// Adds the seeded pixel noise of `view` (uniform in +-noise_amplitude per
// sample); the same seed always gives the same noise.
void add_pixel_noise(cv::Mat& picture, int amplitude, uint32_t seed);

// Draws a shaded, anti-aliased, filled ball centred exactly at (x, y) that
// covers every pixel centre within `radius`, like a filled cv::circle.
void draw_ball(cv::Mat& picture, float x, float y, float radius, const cv::Scalar& colour);

// The same ball smeared by motion blur from (x - blur_x, y - blur_y) to (x, y).
void draw_blurred_ball(cv::Mat& picture, float x, float y, float radius, float blur_x, float blur_y,
                       const cv::Scalar& colour);

// The pixels of a `size` picture that the flying ball of `view` may change
// (empty when none shows). Without pixel noise, the picture of `view` is that
// of the same view without its ball everywhere else.
cv::Rect ball_area(const game_view& view, cv::Size size);

// Draws the flying ball of `view`, if it shows, over the picture of the same
// view without its ball, as render_game does (no pixel noise).
void draw_flying_ball(const game_view& view, cv::Mat& picture);

}  // namespace practice
