#include "pitch/circle_search.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace pitchlog {
namespace {

// Votes walk in fixed point with this many fraction bits.
constexpr int fraction_bits = 10;
constexpr float fixed_one = 1 << fraction_bits;

// What 16-bit edges can hold: positions, and steps of 1024 / resolution.
constexpr int max_side = INT16_MAX;
constexpr double min_resolution = 1.0 / 31.0;

// Accumulator cells per image dimension: ceil(pixels / resolution).
int cells_for(int pixels, double resolution) {
  return static_cast<int>(std::ceil(pixels / resolution));
}

// Adds `weight` to the cells every edge with a gradient votes for: one per
// radius from min to max along the gradient and one against it, each walk
// ending where it leaves the accumulator's inner cells. `inner` points at
// inner cell (0, 0).
void cast_votes(const circle_plane& plane, int min_radius, int max_radius, int weight, int cols,
                int rows, int stride, int* inner) {
  if (min_radius > max_radius) return;
  const float to_cells = static_cast<float>(1.0 / plane.resolution);
  const bool unit_cells = plane.resolution == 1.0;
  for (const circle_edge& e : plane.edge_list) {
    if (e.step_x == 0 && e.step_y == 0) continue;
    // The edge's own position in the same fixed point.
    const int x0 = unit_cells ? e.x * (1 << fraction_bits)
                              : cvRound(static_cast<float>(e.x) * to_cells * fixed_one);
    const int y0 = unit_cells ? e.y * (1 << fraction_bits)
                              : cvRound(static_cast<float>(e.y) * to_cells * fixed_one);
    for (const int sign : {1, -1}) {
      const int step_x = sign * e.step_x;
      const int step_y = sign * e.step_y;
      int px = x0 + min_radius * step_x;
      int py = y0 + min_radius * step_y;
      for (int r = min_radius; r <= max_radius; ++r, px += step_x, py += step_y) {
        // Arithmetic shift: a position left of or above the accumulator gives
        // a negative cell, which the unsigned test rejects.
        const int cx = px >> fraction_bits;
        const int cy = py >> fraction_bits;
        if (static_cast<unsigned>(cx) >= static_cast<unsigned>(cols) ||
            static_cast<unsigned>(cy) >= static_cast<unsigned>(rows)) {
          break;
        }
        inner[cy * stride + cx] += weight;
      }
    }
  }
}

// Inner cells with more votes than the threshold and strictly more than each
// of their four neighbours (a flat top of equal cells gives no centre), as
// offsets from inner cell (0, 0), strongest first; equal votes keep the
// order of the rows and columns.
void collect_centres(const int* inner, int cols, int rows, int stride, int threshold,
                     std::vector<int>& centres) {
  centres.clear();
  for (int y = 0; y < rows; ++y) {
    const int* row = inner + y * stride;
    for (int x = 0; x < cols; ++x) {
      const int v = row[x];
      if (v > threshold && v > row[x - 1] && v > row[x + 1] && v > row[x - stride] &&
          v > row[x + stride]) {
        centres.push_back(y * stride + x);
      }
    }
  }
  std::sort(centres.begin(), centres.end(), [inner](int a, int b) {
    return inner[a] > inner[b] || (inner[a] == inner[b] && a < b);
  });
}

// The distances from (cx, cy) to every edge pixel whose squared distance lies
// within [min_radius², max_radius²], ascending. Only the rows and columns
// within max_radius of the centre can hold such a pixel.
void edge_distances(const circle_plane& plane, float cx, float cy, int min_radius, int max_radius,
                    std::vector<float>& distances) {
  distances.clear();
  const float min_squared = static_cast<float>(min_radius) * static_cast<float>(min_radius);
  const float max_squared = static_cast<float>(max_radius) * static_cast<float>(max_radius);
  const int first_row = std::max(0, static_cast<int>(std::ceil(cy - max_radius)));
  const int last_row =
      std::min(plane.size.height - 1, static_cast<int>(std::floor(cy + max_radius)));
  const float left = cx - static_cast<float>(max_radius);
  const float right = cx + static_cast<float>(max_radius);
  for (int y = first_row; y <= last_row; ++y) {
    const auto row_begin = plane.edge_list.begin() + plane.row_starts[y];
    const auto row_end = plane.edge_list.begin() + plane.row_starts[y + 1];
    auto e = std::lower_bound(row_begin, row_end, left, [](const circle_edge& edge, float x) {
      return static_cast<float>(edge.x) < x;
    });
    const float dy = static_cast<float>(y) - cy;
    for (; e != row_end && static_cast<float>(e->x) <= right; ++e) {
      const float dx = static_cast<float>(e->x) - cx;
      const float squared = dx * dx + dy * dy;
      if (squared >= min_squared && squared <= max_squared) distances.push_back(std::sqrt(squared));
    }
  }
  std::sort(distances.begin(), distances.end());
}

// The radius best supported by ascending distances, and its support: the
// distances are walked in runs no wider than `run_width` from their first;
// a run is judged when the next distance closes it, its radius being its
// middle distance (the upper middle of an even run), and it becomes the best
// when count / radius is at least the best's. The first run judged always
// does. The last run, which no distance closes, is judged only when
// `judge_last_run` is set. Support 0: no run was judged.
struct radius_estimate {
  int support = 0;
  float radius = 0.0f;
};

void judge_run(const std::vector<float>& distances, std::size_t begin, std::size_t end,
               radius_estimate& best) {
  const int count = static_cast<int>(end - begin);
  const float radius = distances[begin + (end - begin) / 2];
  if (static_cast<float>(count) * best.radius >= static_cast<float>(best.support) * radius) {
    best = {count, radius};
  }
}

radius_estimate best_radius(const std::vector<float>& distances, float run_width,
                            bool judge_last_run) {
  radius_estimate best;
  if (distances.empty()) return best;
  std::size_t run_start = 0;
  for (std::size_t i = 1; i < distances.size(); ++i) {
    if (distances[i] - distances[run_start] <= run_width) continue;
    judge_run(distances, run_start, i, best);
    run_start = i;
  }
  if (judge_last_run) judge_run(distances, run_start, distances.size(), best);
  return best;
}

// Canny's edges from 3x3 Sobel gradients, with the L1 norm |gx| + |gy| and
// integer thresholds. A pixel is a candidate when its norm exceeds `low` and
// is a maximum across the edge: horizontal gradients (|gy| < tan 22.5° |gx|)
// compare it with its left and right neighbours, vertical ones (|gy| >
// tan 67.5° |gx|) with those above and below, the others with the two
// diagonal neighbours the gradient points along; it must exceed the first
// of the pair (left, above) and at least equal the second, or exceed both on
// a diagonal. Pixels outside the plane count as norm 0. Candidates above
// `high` are edges, and so is every candidate joined to an edge through its
// eight neighbours. This gives exactly cv::Canny's edges for aperture 3 (the
// tests compare them) in about a third of its time: the maximum test needs no
// branches, so the compiler runs it on whole vectors of pixels.
void trace_edges(const cv::Mat& gradient_x, const cv::Mat& gradient_y, int low, int high,
                 circle_search_buffers& buffers) {
  const int rows = gradient_x.rows, cols = gradient_x.cols, stride = cols + 2;
  // Norms and states with a border of zeros; state 1: candidate, 2: edge.
  std::vector<int16_t>& norm = buffers.edge_norms;
  norm.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows + 2), 0);
  buffers.edge_map.create(rows + 2, stride, CV_8UC1);
  buffers.edge_map.setTo(0);
  uint8_t* const state = buffers.edge_map.ptr<uint8_t>(0);
  for (int y = 0; y < rows; ++y) {
    const int16_t* gx = gradient_x.ptr<int16_t>(y);
    const int16_t* gy = gradient_y.ptr<int16_t>(y);
    int16_t* n = norm.data() + (y + 1) * stride + 1;
    for (int x = 0; x < cols; ++x) n[x] = static_cast<int16_t>(std::abs(gx[x]) + std::abs(gy[x]));
  }
  constexpr int tan_22_5 = 13573;  // tan 22.5° in 15-bit fixed point
  for (int y = 0; y < rows; ++y) {
    const int16_t* __restrict gx = gradient_x.ptr<int16_t>(y);
    const int16_t* __restrict gy = gradient_y.ptr<int16_t>(y);
    const int16_t* __restrict n = norm.data() + (y + 1) * stride + 1;
    const int16_t* __restrict above = n - stride;
    const int16_t* __restrict below = n + stride;
    uint8_t* __restrict s = state + (y + 1) * stride + 1;
    // Blocks without a norm above `low` hold no candidate and stay 0.
    for (int block = 0; block < cols; block += 32) {
      const int end = std::min(cols, block + 32);
      int any = 0;
      for (int x = block; x < end; ++x) any |= n[x] > low;
      if (any == 0) continue;
      for (int x = block; x < end; ++x) {
        const int v = n[x];
        const int vx = gx[x], vy = gy[x];
        const int ax = vx < 0 ? -vx : vx, ay = vy < 0 ? -vy : vy;
        const int scaled_y = ay * 32768;
        const int horizontal = scaled_y < ax * tan_22_5;
        const int vertical = scaled_y > ax * tan_22_5 + ax * 65536;  // tan 67.5° = tan 22.5° + 2
        const int same_signs = (vx ^ vy) >= 0;
        const int across_row = (v > n[x - 1]) & (v >= n[x + 1]);
        const int across_column = (v > above[x]) & (v >= below[x]);
        const int down_right = (v > above[x - 1]) & (v > below[x + 1]);
        const int down_left = (v > above[x + 1]) & (v > below[x - 1]);
        const int diagonal = (1 - horizontal) & (1 - vertical);
        const int maximum =
            (horizontal & across_row) | (vertical & across_column) |
            (diagonal & ((same_signs & down_right) | ((1 - same_signs) & down_left)));
        const int candidate = (v > low) & maximum;
        s[x] = static_cast<uint8_t>(candidate + (candidate & (v > high)));
      }
    }
  }
  // Hysteresis: from every edge, through candidates.
  std::vector<int>& trace = buffers.edge_trace;
  trace.clear();
  const std::size_t cells = norm.size();
  for (std::size_t i = 0; i < cells; ++i) {
    if (state[i] == 2) trace.push_back(static_cast<int>(i));
  }
  const int neighbours[8] = {-stride - 1, -stride,    -stride + 1, -1,
                             1,           stride - 1, stride,      stride + 1};
  while (!trace.empty()) {
    const int i = trace.back();
    trace.pop_back();
    for (const int d : neighbours) {
      if (state[i + d] == 1) {
        state[i + d] = 2;
        trace.push_back(i + d);
      }
    }
  }
  // The states become the edge map in place.
  for (std::size_t i = 0; i < cells; ++i) state[i] = state[i] == 2 ? 255 : 0;
}

}  // namespace

void prepare_circle_plane(const cv::Mat& plane, double edge_threshold, double resolution,
                          circle_search_buffers& buffers, circle_plane& prepared) {
  if (plane.empty() || plane.dims != 2 || plane.type() != CV_8UC1) {
    list_circle_edges({}, {}, {}, resolution, buffers, prepared);
    return;
  }
  // Canny with aperture 3 works on exactly these gradients.
  cv::Sobel(plane, buffers.gradient_x, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Sobel(plane, buffers.gradient_y, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
  // Norms are whole numbers, so the thresholds are too.
  const auto whole = [](double t) {
    if (!(t > 0.0)) return 0;
    return t >= INT16_MAX ? int{INT16_MAX} : static_cast<int>(std::floor(t));
  };
  trace_edges(buffers.gradient_x, buffers.gradient_y, whole(std::max(1.0, edge_threshold / 2.0)),
              whole(edge_threshold), buffers);
  const cv::Mat edges = buffers.edge_map(cv::Rect(1, 1, plane.cols, plane.rows));
  list_circle_edges(edges, buffers.gradient_x, buffers.gradient_y, resolution, buffers, prepared);
}

void list_circle_edges(const cv::Mat& edges, const cv::Mat& gradient_x, const cv::Mat& gradient_y,
                       double resolution, circle_search_buffers& buffers, circle_plane& prepared) {
  prepared.resolution = resolution > 0.0 ? resolution : 1.0;
  prepared.edge_list.clear();
  prepared.listing = ++buffers.listings;
  const bool readable = !edges.empty() && edges.dims == 2 && edges.type() == CV_8UC1 &&
                        gradient_x.type() == CV_16SC1 && gradient_y.type() == CV_16SC1 &&
                        gradient_x.size() == edges.size() && gradient_y.size() == edges.size() &&
                        edges.cols <= max_side && edges.rows <= max_side &&
                        resolution >= min_resolution;
  prepared.size = readable ? edges.size() : cv::Size();
  prepared.row_starts.assign(static_cast<std::size_t>(prepared.size.height) + 1, 0);
  if (!readable) return;
  const float scale = static_cast<float>(1.0 / prepared.resolution) * fixed_one;
  for (int y = 0; y < prepared.size.height; ++y) {
    prepared.row_starts[y] = static_cast<int>(prepared.edge_list.size());
    const uint8_t* edge = edges.ptr<uint8_t>(y);
    const int16_t* gx = gradient_x.ptr<int16_t>(y);
    const int16_t* gy = gradient_y.ptr<int16_t>(y);
    // Eight pixels at a time, skipping empty stretches whole.
    for (int group = 0; group < prepared.size.width; group += 8) {
      const int group_end = std::min(prepared.size.width, group + 8);
      uint64_t eight = 0;
      if (group_end - group == 8 && (std::memcpy(&eight, edge + group, 8), eight == 0)) continue;
      for (int x = group; x < group_end; ++x) {
        if (edge[x] == 0) continue;
        circle_edge e{static_cast<int16_t>(x), static_cast<int16_t>(y), 0, 0};
        const float vx = gx[x];
        const float vy = gy[x];
        if (vx != 0.0f || vy != 0.0f) {
          const float magnitude = std::sqrt(vx * vx + vy * vy);
          e.step_x = static_cast<int16_t>(cvRound(vx * scale / magnitude));
          e.step_y = static_cast<int16_t>(cvRound(vy * scale / magnitude));
        }
        prepared.edge_list.push_back(e);
      }
    }
  }
  prepared.row_starts[prepared.size.height] = static_cast<int>(prepared.edge_list.size());
}

void find_circles(const circle_plane& plane, const circle_pass_settings& pass,
                  circle_search_buffers& buffers, std::vector<cv::Vec3f>& circles) {
  circles.clear();
  if (plane.edge_list.empty() || pass.min_radius < 0 || pass.max_radius < pass.min_radius) return;
  const int cols = cells_for(plane.size.width, plane.resolution);
  const int rows = cells_for(plane.size.height, plane.resolution);
  const int stride = cols + 2;
  const int min_r = pass.min_radius, max_r = pass.max_radius;
  // A border of empty cells round the inner ones lets every inner cell be
  // compared with its four neighbours.
  const auto cells = static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows + 2);
  std::vector<int>& votes = buffers.votes;
  int* const inner = [&] {
    if (buffers.votes_listing != plane.listing || votes.size() != cells) {
      votes.resize(cells);
      buffers.votes_min_radius = 0;
      buffers.votes_max_radius = -1;
    }
    return votes.data() + stride + 1;
  }();
  const int old_min = buffers.votes_min_radius, old_max = buffers.votes_max_radius;
  const bool have_votes = old_min <= old_max;
  // Radii to take away and to add when starting from the last pass's votes.
  const int changed = have_votes ? std::max(0, std::min(old_max, min_r - 1) - old_min + 1) +
                                       std::max(0, old_max - std::max(old_min, max_r + 1) + 1) +
                                       std::max(0, std::min(max_r, old_min - 1) - min_r + 1) +
                                       std::max(0, max_r - std::max(min_r, old_max + 1) + 1)
                                 : 0;
  if (!have_votes || changed >= max_r - min_r + 1) {
    std::fill(votes.begin(), votes.end(), 0);
    cast_votes(plane, min_r, max_r, 1, cols, rows, stride, inner);
  } else {
    cast_votes(plane, old_min, std::min(old_max, min_r - 1), -1, cols, rows, stride, inner);
    cast_votes(plane, std::max(old_min, max_r + 1), old_max, -1, cols, rows, stride, inner);
    cast_votes(plane, min_r, std::min(max_r, old_min - 1), 1, cols, rows, stride, inner);
    cast_votes(plane, std::max(min_r, old_max + 1), max_r, 1, cols, rows, stride, inner);
  }
  buffers.votes_listing = plane.listing;
  buffers.votes_min_radius = min_r;
  buffers.votes_max_radius = max_r;
  collect_centres(inner, cols, rows, stride, pass.accumulator_threshold, buffers.centres);

  const float run_width = static_cast<float>(plane.resolution);
  const double min_distance_squared = pass.min_centre_distance * pass.min_centre_distance;
  for (const int centre : buffers.centres) {
    const float cx = static_cast<float>((centre % stride + 0.5) * plane.resolution);
    const float cy = static_cast<float>((centre / stride + 0.5) * plane.resolution);
    // Centres near an accepted circle are skipped before their radius is sought.
    const bool too_close = std::any_of(circles.begin(), circles.end(), [&](const cv::Vec3f& c) {
      const double dx = static_cast<double>(c[0]) - cx;
      const double dy = static_cast<double>(c[1]) - cy;
      return dx * dx + dy * dy < min_distance_squared;
    });
    if (too_close) continue;
    edge_distances(plane, cx, cy, pass.min_radius, pass.max_radius, buffers.distances);
    const radius_estimate estimate = best_radius(buffers.distances, run_width, pass.judge_last_run);
    if (estimate.support > pass.accumulator_threshold)
      circles.emplace_back(cx, cy, estimate.radius);
  }
}

}  // namespace pitchlog
