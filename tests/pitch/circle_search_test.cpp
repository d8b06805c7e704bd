#include "pitch/circle_search.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pitch/ball_detector.h"
#include "practice/library_circle_search.h"
#include "practice/renderer.h"

namespace pitchlog {
namespace {

// An edge pixel of a hand-made scene, as an offset from a centre cell, with a
// horizontal or a vertical gradient. Such an edge votes only along its own
// row or column, one cell per radius, so every vote can be counted by hand.
struct edge_at {
  int dx, dy;
  bool horizontal;
};

// Around cell c, each of these votes for c once (at radius 3 or 4) and lies
// sqrt(12.5) = 3.536 from the centre (c.x + 0.5, c.y + 0.5).
const std::vector<edge_at> voters = {{-3, 0, true}, {4, 0, true}, {0, -3, false}, {0, 4, false}};
// These vote only on rows and columns away from c; the first four lie
// sqrt(30.5) = 5.523 from the centre, the fifth sqrt(32.5) = 5.701.
const std::vector<edge_at> rim = {
    {-5, 1, false}, {6, 1, false}, {1, -5, true}, {1, 6, true}, {-4, -3, true}};
// sqrt(56.5) = 7.517 from the centre: a distance that closes the runs before it.
const edge_at far_edge = {-7, 0, false};
// Four votes for c from edges at 3.536, 4.528, 5.523 and 6.519: no run of
// width 1 holds more than two of them.
const std::vector<edge_at> spread_voters = {
    {-3, 0, true}, {5, 0, true}, {0, -5, false}, {0, 7, false}};

std::vector<edge_at> join(std::vector<std::vector<edge_at>> parts) {
  std::vector<edge_at> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<edge_at> first(const std::vector<edge_at>& edges, std::size_t n) {
  return {edges.begin(), edges.begin() + static_cast<long>(n)};
}

// A 60 x 40 plane holding exactly these edges around cell (20, 20) and, if
// any, these around cell (40, 20).
circle_plane scene(const std::vector<edge_at>& left, const std::vector<edge_at>& right,
                   circle_search_buffers& buffers) {
  cv::Mat edges = cv::Mat::zeros(40, 60, CV_8UC1);
  cv::Mat gradient_x = cv::Mat::zeros(40, 60, CV_16SC1);
  cv::Mat gradient_y = cv::Mat::zeros(40, 60, CV_16SC1);
  const auto put = [&](const std::vector<edge_at>& at, int cx, int cy) {
    for (const edge_at& e : at) {
      const cv::Point p(cx + e.dx, cy + e.dy);
      edges.at<uint8_t>(p) = 255;
      (e.horizontal ? gradient_x : gradient_y).at<int16_t>(p) = 100;
    }
  };
  put(left, 20, 20);
  put(right, 40, 20);
  circle_plane plane;
  list_circle_edges(edges, gradient_x, gradient_y, 1.0, buffers, plane);
  return plane;
}

// Radii 3 to 8, threshold 2: each scene's votes and runs are worked out in
// its comment; only the scenes' own edges take part.
TEST(CircleSearch, ClassicRulesDecide) {
  const float r_near = std::sqrt(12.5f), r_rim = std::sqrt(30.5f);
  struct row {
    const char* name;
    std::vector<edge_at> left, right;
    double min_distance;
    std::vector<cv::Vec3f> expected;               // last run judged (pitchlog)
    std::vector<cv::Vec3f> expected_old_last_run;  // last run never judged
  };
  const row rows[] = {
      // (20, 20) has 3 votes, its neighbours at most 2; distances 3.536 x 3,
      // a single run that no farther distance closes.
      {"one run only", first(voters, 3), {}, 20, {{20.5f, 20.5f, r_near}}, {}},
      // 7.517 closes the run of three at 3.536; the last run (one edge) loses:
      // 1 x 3.536 < 3 x 7.517. The edge 10 px right lies beyond radius 8 and
      // votes for (21, 20) only at radius 9, where it would tie (20, 20).
      {"a farther edge closes the run",
       join({first(voters, 3), {far_edge}, {{10, 0, true}}}),
       {},
       20,
       {{20.5f, 20.5f, r_near}},
       {{20.5f, 20.5f, r_near}}},
      // Runs 3 x 3.536, then 4 x 5.523: 4 x 3.536 < 3 x 5.523, the first stays.
      {"fewer edges at a smaller radius win",
       join({first(voters, 3), first(rim, 4), {far_edge}}),
       {},
       20,
       {{20.5f, 20.5f, r_near}},
       {{20.5f, 20.5f, r_near}}},
      // Runs 3 x 3.536, then 5.523 x 4 and 5.701: 5 x 3.536 >= 3 x 5.523, the
      // second wins with its middle distance 5.523.
      {"more edges per radius win",
       join({first(voters, 3), rim, {far_edge}}),
       {},
       20,
       {{20.5f, 20.5f, r_rim}},
       {{20.5f, 20.5f, r_rim}}},
      // A fourth voter below (21, 17) gives (21, 20) 3 votes too: a flat top,
      // no strict maximum, no centre.
      {"flat-topped peak", join({first(voters, 3), {far_edge}, {{1, -3, false}}}), {}, 20, {}, {}},
      // (40, 20) has 4 votes and support 4 at 3.536; (20, 20) has 3 votes and
      // support 5 at 5.523. In vote order (40, 20) comes first and (20, 20),
      // 20 px away, is skipped.
      {"stronger centre first, a near one skipped",
       join({first(voters, 3), rim, {far_edge}}),
       join({voters, first(rim, 4), {far_edge}}),
       25,
       {{40.5f, 20.5f, r_near}},
       {{40.5f, 20.5f, r_near}}},
      {"both accepted in vote order",
       join({first(voters, 3), rim, {far_edge}}),
       join({voters, first(rim, 4), {far_edge}}),
       15,
       {{40.5f, 20.5f, r_near}, {20.5f, 20.5f, r_rim}},
       {{40.5f, 20.5f, r_near}, {20.5f, 20.5f, r_rim}}},
      // (40, 20) has 4 votes but runs of 2 only: it is not accepted and does
      // not keep (20, 20) out.
      {"a centre that fails its radius hides nothing",
       join({first(voters, 3), rim, {far_edge}}),
       spread_voters,
       25,
       {{20.5f, 20.5f, r_rim}},
       {{20.5f, 20.5f, r_rim}}},
  };
  circle_search_buffers buffers;
  std::vector<cv::Vec3f> circles;
  for (const row& r : rows) {
    const circle_plane plane = scene(r.left, r.right, buffers);
    // A pass of radii 3 to 9 first: the pass below starts from its votes and
    // takes radius 9 away.
    find_circles(plane, {2, 3, 9, r.min_distance}, buffers, circles);
    for (const bool judge_last_run : {true, false}) {
      SCOPED_TRACE(std::string(r.name) + (judge_last_run ? "" : ", last run never judged"));
      find_circles(plane, {2, 3, 8, r.min_distance, judge_last_run}, buffers, circles);
      const std::vector<cv::Vec3f>& expected =
          judge_last_run ? r.expected : r.expected_old_last_run;
      EXPECT_EQ(circles.size(), expected.size());
      for (std::size_t i = 0; i < std::min(circles.size(), expected.size()); ++i) {
        EXPECT_EQ(circles[i][0], expected[i][0]);
        EXPECT_EQ(circles[i][1], expected[i][1]);
        EXPECT_NEAR(circles[i][2], expected[i][2], 1e-5);
      }
    }
  }
}

// The edges come out as the library's Canny finds them (aperture 3,
// thresholds max(1, t/2) and t), on the planes the cascade searches and on
// noise, at pitchlog's threshold 3 and at 10.
TEST(CircleSearch, EdgesAreCannys) {
  practice::game_view normal, hard;
  normal.screen = hard.screen = practice::game_screen::versus;
  normal.pitcher_pose = hard.pitcher_pose = practice::pose::finish;
  normal.ball = {true, 350.5f, 330.5f, 9.0f};
  hard.level = practice::difficulty::hard;
  hard.ball = {true, 340.5f, 300.5f, 12.0f, 3.0f, 5.0f};
  hard.noise_amplitude = 4;
  std::vector<cv::Mat> planes;
  for (const practice::game_view& view : {normal, hard}) {
    cv::Mat picture, ycrcb;
    practice::render_game(view, picture);
    cv::cvtColor(picture(cv::Rect(0, 177, 720, 302)), ycrcb, cv::COLOR_BGR2YCrCb);
    std::vector<cv::Mat> split;
    cv::split(ycrcb, split);
    planes.insert(planes.end(), split.begin(), split.end());
  }
  cv::Mat noise(101, 77, CV_8UC1);
  cv::randu(noise, 0, 256);
  planes.push_back(noise);

  circle_plane plane;
  circle_search_buffers buffers;
  for (std::size_t i = 0; i < planes.size(); ++i) {
    for (const double t : {3.0, 10.0}) {
      cv::Mat canny;
      cv::Canny(planes[i], canny, std::max(1.0, t / 2), t, 3);
      std::vector<cv::Point> expected;
      cv::findNonZero(canny, expected);
      prepare_circle_plane(planes[i], t, 1.0, buffers, plane);
      std::vector<cv::Point> listed;
      for (const circle_edge& e : plane.edge_list) listed.emplace_back(e.x, e.y);
      EXPECT_EQ(listed, expected) << "plane " << i << ", threshold " << t;
    }
  }
}

// A plane the search cannot read (not 8-bit, not one channel, empty) finds
// nothing instead of failing.
TEST(CircleSearch, UnreadablePlanesFindNothing) {
  cv::Mat ball = cv::Mat::zeros(60, 60, CV_8UC1);
  cv::circle(ball, {30, 30}, 10, cv::Scalar(255), cv::FILLED);
  cv::Mat wide, colour;
  ball.convertTo(wide, CV_16U, 256);
  cv::cvtColor(ball, colour, cv::COLOR_GRAY2BGR);
  circle_plane plane;
  circle_search_buffers buffers;
  std::vector<cv::Vec3f> circles;
  for (const cv::Mat& input : {wide, colour, cv::Mat()}) {
    prepare_circle_plane(input, 3, 1, buffers, plane);
    find_circles(plane, {5, 6, 13, 250}, buffers, circles);
    EXPECT_TRUE(circles.empty()) << input.type();
  }
  prepare_circle_plane(ball, 3, 1, buffers, plane);
  find_circles(plane, {5, 6, 13, 250}, buffers, circles);
  EXPECT_EQ(circles.size(), 1u);
}

// The practice game's ball (covering every pixel centre within its radius),
// alone on the dirt of the pitch view at three places: the cascade finds it in
// the same pass with pitchlog's search as with the library's, at the same
// centre within a pixel. (At radii between, 6.5 to 9.5, the two often stop
// at different passes, at the same centre: runs and the 1 px window count the
// ring's edges differently.)
TEST(CircleSearch, IsolatedBallsFoundInTheLibrarysPass) {
  const cv::Rect region = ball_search_region({0, 0}, {practice::game_width, practice::game_height});
  const cv::Point2f places[] = {{330.5f, 300.5f}, {345.5f, 330.5f}, {300.5f, 400.5f}};
  ball_state ours, library;
  make_ball_work_images(ours.work, region.size(), CV_8U);
  make_ball_work_images(library.work, region.size(), CV_8U);
  library.other_search = practice::library_circle_search;
  for (int radius = 5; radius <= 14; ++radius) {
    for (const cv::Point2f& place : places) {
      SCOPED_TRACE("radius " + std::to_string(radius) + " at " + std::to_string(place.x) + ", " +
                   std::to_string(place.y));
      practice::game_view view;
      view.screen = practice::game_screen::versus;
      view.pitcher_pose = practice::pose::finish;
      view.ball = {true, place.x, place.y, static_cast<float>(radius)};
      cv::Mat picture;
      practice::render_game(view, picture);
      cv::Mat copy = picture.clone();
      ours.position = {};
      library.position = {};
      const int our_pass = detect_ball(picture(region), ours);
      const int library_pass = detect_ball(copy(region), library);
      EXPECT_EQ(our_pass, library_pass);
      EXPECT_LE(std::fabs(ours.position.x - library.position.x), 1.0f);
      EXPECT_LE(std::fabs(ours.position.y - library.position.y), 1.0f);
    }
  }
}

}  // namespace
}  // namespace pitchlog
