#include "pitch/pitch_classifier.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pitch/pitch_helpers.h"

namespace pitchlog {
namespace {

using pitch_test::draw_ball;
using pitch_test::found_radius;
using pitch_test::marked_pixels;
using pitch_test::smooth_ground;

constexpr track_point no_ball{0.0f, 0.0f};
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct track_run {
  ball_track track;
  int rejection_count = 0;
  int ended_at = 0;  // the frame that ended the track, 0 when none did
};

// Feeds the balls found in frames 3, 4, ... to the per-frame decision, as
// track_ball does, stopping where the track ends.
track_run run_track(track_point start, const std::vector<track_point>& found) {
  track_run run;
  run.track.points[1] = start;
  int k = 3;
  for (const track_point& candidate : found) {
    if (!next_track_point(run.track, k, candidate, run.rejection_count)) {
      run.ended_at = k;
      break;
    }
    ++k;
  }
  return run;
}

struct track_case {
  const char* name;
  track_point start;
  std::vector<track_point> found;  // frames 3, 4, ...
  std::vector<std::pair<int, track_point>> points;
  int rejection_count;
  int ended_at;
};

TEST(next_track_point, continuity_rejection_and_early_end) {
  const track_point p1{120.5f, 30.5f};
  // A path from (120.5, 20.5) that reaches P9 = (122.5, 55.5).
  const std::vector<track_point> to_p9{{121.5f, 25.5f}, {121.5f, 30.5f}, {122.5f, 35.5f},
                                       {122.5f, 40.5f}, {122.5f, 45.5f}, {122.5f, 50.5f},
                                       {122.5f, 55.5f}};
  auto then = [](std::vector<track_point> path, std::vector<track_point> more) {
    path.insert(path.end(), more.begin(), more.end());
    return path;
  };
  const std::vector<track_case> cases = {
      {"40 px to the right is accepted", p1, {{160.5f, 32.5f}}, {{3, {160.5f, 32.5f}}}, 0, 0},
      {"41 px to the right is rejected", p1, {{161.5f, 32.5f}}, {{3, p1}}, 1, 0},
      {"40 px to the left is accepted", p1, {{80.5f, 32.5f}}, {{3, {80.5f, 32.5f}}}, 0, 0},
      {"41 px to the left is rejected", p1, {{79.5f, 32.5f}}, {{3, p1}}, 1, 0},
      {"2 px higher is accepted", p1, {{121.5f, 28.5f}}, {{3, {121.5f, 28.5f}}}, 0, 0},
      {"3 px higher is rejected", p1, {{121.5f, 27.5f}}, {{3, p1}}, 1, 0},
      {"80 px below the start is accepted",
       p1,
       {{120.5f, 100.5f}, {120.5f, 110.5f}},
       {{4, {120.5f, 110.5f}}},
       0,
       0},
      {"81 px below the start is rejected however close the previous point",
       p1,
       {{120.5f, 100.5f}, {120.5f, 111.5f}},
       {{4, {120.5f, 100.5f}}},
       1,
       0},
      {"a rejection then an acceptance",
       p1,
       {no_ball, {122.5f, 35.5f}},
       {{3, p1}, {4, {122.5f, 35.5f}}},
       0,
       0},
      {"two rejections in a row end the track",
       p1,
       {{121.5f, 33.5f}, {122.5f, 36.5f}, no_ball, {200.5f, 40.5f}, {123.5f, 40.5f}},
       {{4, {122.5f, 36.5f}},
        {5, {122.5f, 36.5f}},
        {6, {122.5f, 36.5f}},
        {7, {122.5f, 36.5f}},
        {11, {122.5f, 36.5f}}},
       2,
       6},
      {"the earliest end is frame 4", p1, {no_ball, no_ball}, {{3, p1}, {4, p1}, {11, p1}}, 2, 4},
      {"an ignored position neither clears nor raises the count",
       {225.5f, 70.5f},
       {{228.5f, 72.5f}, {230.5f, 75.5f}, no_ball, {235.5f, 79.5f}, no_ball, {231.5f, 80.5f}},
       {{5, {230.5f, 75.5f}}, {6, {230.5f, 75.5f}}, {7, {230.5f, 75.5f}}, {11, {230.5f, 75.5f}}},
       2,
       7},
      // A frame without a ball is never the ball, even where (0, 0) would
      // pass the continuity bounds.
      {"no ball next to the region's corner is rejected",
       {30.5f, 1.5f},
       {no_ball},
       {{3, {30.5f, 1.5f}}},
       1,
       0},
      {"a NaN x is rejected", p1, {{nan, 32.5f}}, {{3, p1}}, 1, 0},
      {"a NaN y is rejected", p1, {{121.5f, nan}}, {{3, p1}}, 1, 0},
      {"frame 10 keeps P9's x when P1 and P9 lie 2 px apart",
       {120.5f, 20.5f},
       then(to_p9, {{130.5f, 60.5f}}),
       {{9, {122.5f, 55.5f}}, {10, {122.5f, 60.5f}}},
       0,
       0},
      {"frame 10 keeps its x when P1 and P9 lie 3 px apart",
       {119.5f, 20.5f},
       then(to_p9, {{130.5f, 60.5f}}),
       {{10, {130.5f, 60.5f}}},
       0,
       0},
      {"frame 11 keeps P10's x after a rejected frame 10",
       {120.5f, 20.5f},
       then(to_p9, {no_ball, {125.5f, 65.5f}}),
       {{10, {122.5f, 55.5f}}, {11, {122.5f, 65.5f}}},
       0,
       0},
      {"frame 11 is tested against P9, not P10",
       {120.5f, 20.5f},
       then({{121.5f, 25.5f},
             {122.5f, 30.5f},
             {123.5f, 35.5f},
             {124.5f, 40.5f},
             {125.5f, 45.5f},
             {125.5f, 50.5f},
             {125.5f, 55.5f}},
            {{121.5f, 60.5f}, {126.5f, 65.5f}}),
       {{10, {121.5f, 60.5f}}, {11, {126.5f, 65.5f}}},
       0,
       0},
  };
  for (const track_case& c : cases) {
    SCOPED_TRACE(c.name);
    const track_run run = run_track(c.start, c.found);
    for (const auto& [k, expected] : c.points) EXPECT_EQ(run.track.points[k], expected) << "P" << k;
    EXPECT_EQ(run.rejection_count, c.rejection_count);
    EXPECT_EQ(run.ended_at, c.ended_at);
  }
}

// The six ignored centres keep the previous point and the count; their
// neighbours are ordinary positions.
TEST(next_track_point, ignored_positions_are_exactly_the_six) {
  struct row {
    track_point found;
    bool ignored;
  };
  const row rows[] = {
      {{234.5f, 78.5f}, true},  {{234.5f, 79.5f}, true},  {{235.5f, 78.5f}, true},
      {{235.5f, 79.5f}, true},  {{317.5f, 78.5f}, true},  {{317.5f, 79.5f}, true},
      {{233.5f, 79.5f}, false}, {{236.5f, 78.5f}, false}, {{235.5f, 80.5f}, false},
      {{234.5f, 77.5f}, false}, {{316.5f, 79.5f}, false}, {{318.5f, 78.5f}, false},
      {{317.5f, 80.5f}, false}, {{317.5f, 77.5f}, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.found.x);
    const track_point start{r.found.x - 5.0f, 70.5f};
    // Frame 3 shows no ball (count 1), frame 4 shows the position.
    const track_run run = run_track(start, {no_ball, r.found});
    EXPECT_EQ(run.track.points[4], r.ignored ? start : r.found) << r.found;
    EXPECT_EQ(run.rejection_count, r.ignored ? 1 : 0) << r.found;
  }
}

struct classify_case {
  const char* name;
  track_point start, end;
  float y4, y5;
  pitch_type right, left;
};

ball_track track_of(track_point start, track_point end, float y4, float y5) {
  ball_track track;
  track.points[1] = start;
  track.points[4] = {start.x, y4};
  track.points[5] = {start.x, y5};
  track.points[11] = end;
  return track;
}

TEST(classify_pitch, decision_table_for_both_hands) {
  using enum pitch_type;
  const track_point s{120.5f, 30.5f};
  const classify_case cases[] = {
      {"still", s, s, 30.5f, 30.5f, straight, straight},
      {"within a pixel both ways", s, {121.5f, 31.5f}, 30.5f, 30.5f, straight, straight},
      {"within a pixel, left and up", s, {119.5f, 29.5f}, 30.5f, 30.5f, straight, straight},
      {"dropped straight down", s, {120.5f, 45.5f}, 34.5f, 38.5f, fork, fork},
      {"dropped with a pixel to the left", s, {119.5f, 32.5f}, 34.5f, 38.5f, fork, fork},
      {"rose straight up", s, {120.5f, 25.5f}, 30.5f, 30.5f, curve, shoot},
      {"rose a pixel to the left", s, {119.5f, 25.5f}, 30.5f, 30.5f, shoot, curve},
      {"2 px right, ratio 0.2", s, {122.5f, 50.5f}, 34.5f, 38.5f, fork, fork},
      {"2 px right, ratio 0.15", s, {122.5f, 50.5f}, 34.5f, 37.5f, curve, shoot},
      {"2 px left, ratio 0.15", s, {118.5f, 50.5f}, 34.5f, 37.5f, shoot, curve},
      {"ratio 9/50 counts as above 0.18", s, {122.5f, 80.5f}, 40.5f, 49.5f, fork, fork},
      {"ratio 18/100 counts as above 0.18", s, {118.5f, 130.5f}, 40.5f, 58.5f, fork, fork},
      {"ratio 8/50 does not", s, {122.5f, 80.5f}, 40.5f, 48.5f, curve, shoot},
      {"2 px, level end, dropping between 4 and 5", s, {122.5f, 30.5f}, 34.5f, 35.5f, fork, fork},
      {"2 px, level end, rising between 4 and 5", s, {122.5f, 30.5f}, 35.5f, 34.5f, curve, shoot},
      {"2 px left, level end, no change between 4 and 5",
       s,
       {118.5f, 30.5f},
       34.5f,
       34.5f,
       shoot,
       curve},
      {"2 px, ended high, dropping between 4 and 5",
       s,
       {122.5f, 20.5f},
       34.5f,
       38.5f,
       curve,
       shoot},
      {"track ended early: y4 = y5", s, {122.5f, 40.5f}, 40.5f, 40.5f, curve, shoot},
      {"3 px with a steep drop is sideways", s, {123.5f, 80.5f}, 34.5f, 60.5f, curve, shoot},
      {"10 px left", s, {110.5f, 40.5f}, 34.5f, 38.5f, shoot, curve},
      {"10 px right", s, {130.5f, 40.5f}, 34.5f, 38.5f, curve, shoot},
  };
  for (const classify_case& c : cases) {
    SCOPED_TRACE(c.name);
    const ball_track track = track_of(c.start, c.end, c.y4, c.y5);
    EXPECT_EQ(classify_pitch(track, pitcher_hand::right), c.right) << c.name;
    EXPECT_EQ(classify_pitch(track, pitcher_hand::left), c.left) << c.name;
  }
}

// A whole burst: a missing ball in frame 5, then frames 10 and 11 keep P9's
// column because the path started within 2 px of it.
TEST(next_track_point, whole_burst_is_a_fork_thanks_to_the_column_rule) {
  const track_run run = run_track({100.5f, 20.5f}, {{101.5f, 24.5f},
                                                    {101.5f, 29.5f},
                                                    no_ball,
                                                    {102.5f, 35.5f},
                                                    {103.5f, 42.5f},
                                                    {103.5f, 50.5f},
                                                    {101.5f, 58.5f},
                                                    {104.5f, 66.5f},
                                                    {105.5f, 75.5f}});
  EXPECT_EQ(run.ended_at, 0);
  EXPECT_EQ(run.rejection_count, 0);
  EXPECT_EQ(run.track.points[5], (track_point{101.5f, 29.5f}));
  EXPECT_EQ(run.track.points[10], (track_point{101.5f, 66.5f}));
  EXPECT_EQ(run.track.points[11], (track_point{101.5f, 75.5f}));
  EXPECT_EQ(classify_pitch(run.track, pitcher_hand::right), pitch_type::fork);

  ball_track unreplaced = run.track;
  unreplaced.points[10] = {104.5f, 66.5f};
  unreplaced.points[11] = {105.5f, 75.5f};
  EXPECT_EQ(classify_pitch(unreplaced, pitcher_hand::right), pitch_type::curve);
}

// track_ball on drawn 1920 x 1080 frames. Shallow copies of the frames let the
// test see what was drawn after track_ball has released its own handles.
class track_ball_run : public ::testing::Test {
 protected:
  inline static const cv::Size game_size{720, 480};

  void SetUp() override { make_ball_work_images(ball.work, region_size(), CV_8U); }

  cv::Rect region() const { return ball_search_region(origin, game_size); }
  cv::Size region_size() const { return region().size(); }

  // Frames 3 to 11, each with a ball at the given region position or none.
  void make_frames(const std::vector<std::optional<cv::Point2d>>& balls) {
    for (const auto& centre : balls) {
      cv::Mat frame = smooth_ground({1920, 1080});
      if (centre) draw_ball(frame, {region().x + centre->x, region().y + centre->y}, found_radius);
      frames.push_back(frame);
      kept.push_back(frame);
    }
  }

  cv::Point origin{300, 200};
  ball_state ball;
  std::vector<cv::Mat> frames;
  std::vector<cv::Mat> kept;
  ball_track track;
};

TEST_F(track_ball_run, follows_the_ball_and_releases_every_frame) {
  std::vector<std::optional<cv::Point2d>> balls;
  for (int k = 3; k <= 11; ++k) balls.push_back(cv::Point2d(300.5 + 3 * k, 40.5 + 6 * k));
  make_frames(balls);
  ball.position = {77.5f, 1.5f};  // whatever an earlier search left
  track_ball(frames, region(), {300.5f, 40.5f}, ball, track);

  for (int k = 3; k <= 11; ++k) {
    EXPECT_NEAR(track.points[k].x, balls[k - 3]->x, 1.0) << "P" << k;
    EXPECT_NEAR(track.points[k].y, balls[k - 3]->y, 1.0) << "P" << k;
    EXPECT_TRUE(frames[k - 3].empty());
    EXPECT_GT(marked_pixels(kept[k - 3]), 0) << "frame " << k << " searched";
  }
  EXPECT_EQ(ball.position.x, 0.0f);
  EXPECT_EQ(ball.position.y, 0.0f);
  // The search's memory goes with the burst; the work images stay.
  EXPECT_EQ(ball.work.circle_buffers.votes.capacity(), 0u);
  EXPECT_EQ(ball.work.circle_planes[0].edge_list.capacity(), 0u);
  EXPECT_TRUE(ball.work.circle_buffers.gradient_x.empty());
  EXPECT_FALSE(ball.work.luma_plane.empty());
  EXPECT_EQ(classify_pitch(track, pitcher_hand::right), pitch_type::curve);
  EXPECT_EQ(classify_pitch(track, pitcher_hand::left), pitch_type::shoot);
}

TEST_F(track_ball_run, early_end_releases_the_later_frames_unsearched) {
  const cv::Point2d ball_at(200.5, 50.5);
  make_frames(
      {ball_at, std::nullopt, std::nullopt, ball_at, ball_at, ball_at, ball_at, ball_at, ball_at});
  track_ball(frames, region(), {200.5f, 45.5f}, ball, track);

  EXPECT_GT(marked_pixels(kept[0]), 0);
  for (int k = 6; k <= 11; ++k) EXPECT_EQ(marked_pixels(kept[k - 3]), 0) << "frame " << k;
  for (const cv::Mat& frame : frames) EXPECT_TRUE(frame.empty());
  for (int k = 4; k <= 11; ++k) EXPECT_EQ(track.points[k], track.points[3]) << "P" << k;
  EXPECT_EQ(ball.position.x, 0.0f);
}

// A game picture reaching past the frame's right edge: the clipped region is
// no ball in any frame, so the track ends at frame 4 on the start point.
TEST_F(track_ball_run, region_past_the_frame_edge_finds_no_ball) {
  origin = {1300, 200};
  const cv::Point2d ball_at(100.5, 50.5);
  make_frames(std::vector<std::optional<cv::Point2d>>(9, ball_at));
  const track_point start{100.5f, 50.5f};
  track_ball(frames, region(), start, ball, track);

  for (int k = 3; k <= 11; ++k) {
    EXPECT_EQ(track.points[k], start) << "P" << k;
    EXPECT_TRUE(frames[k - 3].empty());
    EXPECT_EQ(marked_pixels(kept[k - 3]), 0);
  }
}

}  // namespace
}  // namespace pitchlog
