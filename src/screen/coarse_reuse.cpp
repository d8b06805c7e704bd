#include "screen/coarse_reuse.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/core.hpp>

#include "control/templates/checks.h"
#include "control/templates/template_store.h"

namespace pitchlog {
namespace {

// The matcher correlates in single precision through discrete Fourier
// transforms, so a window's score is exact only to within a rounding error in
// its numerator, which depends on the whole block transformed with it: the
// same window scored in the full picture, in a part of it, or in the full
// picture after a change elsewhere differs in the last bits. Measured on this
// matcher over thousands of desktops (dark, bright, noise, the game picture
// itself), two such computations of one window differed by at most 6 x
// FLT_EPSILON x (sum of the template's samples) x (root mean square pixel
// value of the larger picture). The bound used here is ten times that.
constexpr double numerator_error_per_unit = 64.0 * FLT_EPSILON;

// A window whose bound reaches this share of its spread is not answered from
// its held score: below it, neither computation can have been pushed past the
// matcher's clamp (a ratio beyond 1.125 reads as 0), so each held score lies
// within the bound of the score a full search gives.
constexpr double largest_margin = 0.25;

// Covers the rounding of scores to single precision and of the spreads here.
constexpr double score_slack = 1e-5;

// A change whose windows need a part of the picture larger than this share is
// matched whole: the part would cost nearly as much, and the game picture
// appearing always covers more than this.
constexpr double largest_part_share = 0.5;

double coarse_threshold() {
  return check_of(check_id::coarse_search).threshold;
}

double root_mean_square(const cv::Mat& picture) {
  if (picture.empty()) return 0.0;
  return cv::norm(picture, cv::NORM_L2) / std::sqrt(static_cast<double>(picture.total()) * 3);
}

double sample_sum(const cv::Mat& picture) {
  const cv::Scalar s = cv::sum(picture);
  return s[0] + s[1] + s[2];
}

// The answer from a whole score map, as match_template reads it.
coarse_answer answer_of(const cv::Mat& scores) {
  double best = 0.0;
  cv::Point location;
  cv::minMaxLoc(scores, nullptr, &best, nullptr, &location);
  return {is_hit(best, coarse_threshold()), location};
}

coarse_answer search_whole(const cv::Mat& picture, const cv::Mat& templ, coarse_memory& memory) {
  memory.picture = picture;
  memory.scores = match_score_map(picture, cv::Rect(0, 0, picture.cols, picture.rows), templ);
  if (memory.scores.empty()) {  // no match possible: a miss, as match_template's NaN
    memory.spreads.release();
    memory.answer = {};
    return memory.answer;
  }
  memory.spreads = window_spreads(picture, cv::Rect(cv::Point(), memory.scores.size()), templ);
  memory.picture_rms = root_mean_square(picture);
  memory.template_sum = sample_sum(templ);
  memory.answer = answer_of(memory.scores);
  return memory.answer;
}

// True when no window's score in a full search of the picture can pass the
// threshold: each held score plus its window's bound stays below it.
bool no_window_can_hit(const coarse_memory& m, double numerator_error) {
  const double threshold = coarse_threshold();
  for (int y = 0; y < m.scores.rows; ++y) {
    const float* score = m.scores.ptr<float>(y);
    const float* spread = m.spreads.ptr<float>(y);
    for (int x = 0; x < m.scores.cols; ++x) {
      if (spread[x] == 0.0f) continue;  // one colour: exactly 0 in any computation
      const double margin = numerator_error / spread[x];
      if (margin >= largest_margin || score[x] + margin + score_slack >= threshold) return false;
    }
  }
  return true;
}

}  // namespace

cv::Rect changed_area(const cv::Mat& a, const cv::Mat& b) {
  const size_t row_bytes = static_cast<size_t>(a.cols) * a.elemSize();
  const size_t pixel_bytes = a.elemSize();
  int top = -1, bottom = -1;
  size_t left = row_bytes, right = 0;
  for (int y = 0; y < a.rows; ++y) {
    const uint8_t* p = a.ptr<uint8_t>(y);
    const uint8_t* q = b.ptr<uint8_t>(y);
    if (std::memcmp(p, q, row_bytes) == 0) continue;
    if (top < 0) top = y;
    bottom = y;
    size_t first = 0;
    while (p[first] == q[first]) ++first;
    size_t last = row_bytes - 1;
    while (p[last] == q[last]) --last;
    left = std::min(left, first / pixel_bytes);
    right = std::max(right, last / pixel_bytes);
  }
  if (top < 0) return {};
  return {static_cast<int>(left), top, static_cast<int>(right - left + 1), bottom - top + 1};
}

cv::Mat window_spreads(const cv::Mat& picture, const cv::Rect& windows, const cv::Mat& templ) {
  // Integer sums, so that a window of one colour is told exactly: for a
  // window of n pixels, n * (sum of squares) - sum^2 is 0 per channel then,
  // and at least n - 1 otherwise.
  const int64_t n = static_cast<int64_t>(templ.rows) * templ.cols;
  int64_t template_variance_n = 0;  // n * sum of squared deviations, all channels
  for (int c = 0; c < 3; ++c) {
    int64_t s = 0, q = 0;
    for (int y = 0; y < templ.rows; ++y) {
      const uint8_t* row = templ.ptr<uint8_t>(y);
      for (int x = 0; x < templ.cols; ++x) {
        s += row[x * 3 + c];
        q += row[x * 3 + c] * row[x * 3 + c];
      }
    }
    template_variance_n += n * q - s * s;
  }
  const double template_norm = std::sqrt(static_cast<double>(template_variance_n) / n);

  // Column sums over the template's height, slid down the rows, and window
  // sums slid along each row of windows.
  const int width = windows.width + templ.cols - 1;
  const int x0 = windows.x;
  std::vector<int64_t> col_sum(static_cast<size_t>(width) * 3, 0);
  std::vector<int64_t> col_sq(col_sum.size(), 0);
  const auto add_row = [&](int y, int sign) {
    const uint8_t* row = picture.ptr<uint8_t>(y) + static_cast<size_t>(x0) * 3;
    for (size_t i = 0; i < col_sum.size(); ++i) {
      col_sum[i] += sign * row[i];
      col_sq[i] += sign * row[i] * row[i];
    }
  };
  for (int y = windows.y; y < windows.y + templ.rows; ++y) add_row(y, 1);

  cv::Mat spreads(windows.size(), CV_32F);
  for (int wy = 0; wy < windows.height; ++wy) {
    int64_t s[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    for (int x = 0; x < templ.cols; ++x) {
      for (int c = 0; c < 3; ++c) {
        s[c] += col_sum[x * 3 + c];
        q[c] += col_sq[x * 3 + c];
      }
    }
    float* out = spreads.ptr<float>(wy);
    for (int wx = 0;; ++wx) {
      int64_t variance_n = 0;
      for (int c = 0; c < 3; ++c) variance_n += n * q[c] - s[c] * s[c];
      out[wx] =
          variance_n == 0
              ? 0.0f
              : static_cast<float>(std::sqrt(static_cast<double>(variance_n) / n) * template_norm);
      if (wx + 1 == windows.width) break;
      for (int c = 0; c < 3; ++c) {
        s[c] += col_sum[(wx + templ.cols) * 3 + c] - col_sum[wx * 3 + c];
        q[c] += col_sq[(wx + templ.cols) * 3 + c] - col_sq[wx * 3 + c];
      }
    }
    if (wy + 1 == windows.height) break;
    add_row(windows.y + wy, -1);
    add_row(windows.y + wy + templ.rows, 1);
  }
  return spreads;
}

coarse_answer full_coarse_search(const cv::Mat& picture, const cv::Mat& templ) {
  const match_result m = match_template(picture, cv::Rect(0, 0, picture.cols, picture.rows), templ);
  return {is_hit(m.best_score, coarse_threshold()), m.best_location};
}

coarse_answer coarse_search_reusing(const cv::Mat& picture, const cv::Mat& templ,
                                    coarse_memory& memory, coarse_path* path) {
  coarse_path unused;
  coarse_path& how = path ? *path : unused;
  how = coarse_path::full_search;
  const bool comparable = !memory.picture.empty() && memory.picture.size() == picture.size() &&
                          memory.picture.type() == picture.type() && picture.type() == CV_8UC3;
  if (!comparable) return search_whole(picture, templ, memory);

  const cv::Rect change = changed_area(memory.picture, picture);
  if (change.empty()) {
    how = coarse_path::same_picture;
    memory.picture = picture;
    return memory.answer;
  }
  // Windows whose top-left corner lies within a template's size before the
  // change overlap it; the others keep their scores.
  const cv::Size map = memory.scores.size();
  if (map.empty() || templ.type() != CV_8UC3) return search_whole(picture, templ, memory);
  const int wx0 = std::max(0, change.x - templ.cols + 1);
  const int wy0 = std::max(0, change.y - templ.rows + 1);
  const int wx1 = std::min(map.width - 1, change.br().x - 1);
  const int wy1 = std::min(map.height - 1, change.br().y - 1);
  const cv::Rect windows(wx0, wy0, wx1 - wx0 + 1, wy1 - wy0 + 1);
  const cv::Rect part(windows.x, windows.y, windows.width + templ.cols - 1,
                      windows.height + templ.rows - 1);
  if (part.area() > largest_part_share * picture.cols * picture.rows)
    return search_whole(picture, templ, memory);

  const cv::Mat part_scores = match_score_map(picture, part, templ);
  if (part_scores.size() != windows.size()) return search_whole(picture, templ, memory);
  part_scores.copyTo(memory.scores(windows));
  window_spreads(picture, windows, templ).copyTo(memory.spreads(windows));
  memory.picture_rms = std::max(memory.picture_rms, root_mean_square(picture(part)));
  memory.picture = picture;

  // A full search now would round with this picture's values; the held
  // scores were rounded with those of their own pictures.
  const double rms = std::max(memory.picture_rms, root_mean_square(picture));
  if (!no_window_can_hit(memory, numerator_error_per_unit * memory.template_sum * rms))
    return search_whole(picture, templ, memory);
  how = coarse_path::changed_windows;
  memory.answer = {};
  return memory.answer;
}

}  // namespace pitchlog
