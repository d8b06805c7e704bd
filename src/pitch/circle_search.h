#pragma once
// The classic gradient circle search the ball cascade was tuned for.
//
// Edges (Canny) vote along their gradient for centres at every radius of a
// pass; accumulator cells that beat the pass's threshold and are a strict
// maximum over their four neighbours become centres, strongest first; each
// centre not near a circle accepted before gets its radius from the runs of
// its sorted edge distances, and becomes a circle when the best run has more
// edges than the threshold.
//
// The cascade's thresholds and radius ranges assume this search (with one
// fault mended, see `judge_last_run`). The Hough gradient search of the
// OpenCV that pitchlog builds against differs in its radius estimate, output
// order, minimum-distance rule and centre test, and so in which pass finds the
// ball and where; pitchlog therefore carries this search instead of calling
// cv::HoughCircles.
//
// The edges, gradients and edge list depend only on the plane, so they are
// made once per plane (`prepare_circle_plane`) and shared by every pass run on
// it (`find_circles`). Both reuse their buffers from call to call.
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>

namespace pitchlog {

// One edge pixel: its position, and its unit gradient direction in 10-bit
// fixed point scaled by 1 / resolution ((0, 0): no gradient, it casts no
// votes). Sixteen bits each keep the list small: planes up to 32767 pixels a
// side, resolutions from 1/31.
struct circle_edge {
  int16_t x = 0;
  int16_t y = 0;
  int16_t step_x = 0;
  int16_t step_y = 0;
};

// What every pass on one plane shares: its edge list, for passes at `resolution`.
struct circle_plane {
  double resolution = 1.0;             // image pixels per accumulator cell
  cv::Size size;                       // of the plane
  std::vector<circle_edge> edge_list;  // every edge pixel, row by row, left to right
  std::vector<int> row_starts;         // edge_list index of each row's first edge; rows + 1
  uint64_t listing = 0;                // which listing of the buffers made it (0: none)
};

// One pass: centres need more than `accumulator_threshold` votes and a best
// run of more than that many edges; radii are inclusive, in pixels; a centre
// closer than `min_centre_distance` to a circle already accepted is skipped.
//
// The search as first written never judged the last run of a centre's
// distances (the one no farther distance closes), so a clean ring alone in
// the radius range, all of whose edges lie within one run, was never found:
// on the practice game a quarter of the ball sightings were lost and one
// pitch in seven misnamed (bench_ball_search). pitchlog judges the last run
// like every other; `judge_last_run` = false gives the old behaviour, for
// measuring what it costs.
struct circle_pass_settings {
  int accumulator_threshold = 0;
  int min_radius = 0;
  int max_radius = 0;
  double min_centre_distance = 0.0;
  bool judge_last_run = true;
};

// Working memory, reused from plane to plane and pass to pass: a plane's
// gradients and Canny's maps (only needed while its edge list is made), the
// vote accumulator, the centres and one centre's edge distances.
//
// An edge votes at a radius exactly when that radius's cell lies inside the
// accumulator (its walk leaves it only once), so the votes for a range of
// radii are the sum of the votes at each: a pass on the plane the votes were
// cast for, with an overlapping range, only adds and removes the radii that
// differ.
struct circle_search_buffers {
  cv::Mat gradient_x;  // CV_16S, 3x3 Sobel, replicated border
  cv::Mat gradient_y;
  cv::Mat edge_map;                 // CV_8U with a border: Canny's states, then its edges
  std::vector<int16_t> edge_norms;  // with a border
  std::vector<int> edge_trace;
  std::vector<int> votes;      // with a border of empty cells
  uint64_t votes_listing = 0;  // the plane listing they were cast for (0: none)
  int votes_min_radius = 0;
  int votes_max_radius = -1;
  uint64_t listings = 0;  // edge lists made so far
  std::vector<int> centres;
  std::vector<float> distances;
};

// The edge list of an 8-bit one-channel plane (Canny with thresholds
// max(1, t/2) and t, aperture 3; 3x3 Sobel gradients) for passes at
// `resolution`. Any other plane, or one out of the edge list's range, gets an
// empty edge list: no pass finds anything on it.
void prepare_circle_plane(const cv::Mat& plane, double edge_threshold, double resolution,
                          circle_search_buffers& buffers, circle_plane& prepared);

// The edge list of an edge map (CV_8U, non-zero: edge) with its 16-bit
// gradients (same size), for passes at `resolution`.
void list_circle_edges(const cv::Mat& edges, const cv::Mat& gradient_x, const cv::Mat& gradient_y,
                       double resolution, circle_search_buffers& buffers, circle_plane& prepared);

// Runs one pass; `circles` receives (centre x, centre y, radius) in the order
// the circles were accepted, which is the order of their centres' votes.
void find_circles(const circle_plane& plane, const circle_pass_settings& pass,
                  circle_search_buffers& buffers, std::vector<cv::Vec3f>& circles);

}  // namespace pitchlog
