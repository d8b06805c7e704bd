#include "screen/game_area_locator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/capture_frame.h"
#include "control/templates/checks.h"
#include "screen/coarse_reuse.h"

namespace pitchlog {
namespace {

// Pixels from a position or size worked out in double precision: truncation toward zero.
int trunc_px(double value) {
  return static_cast<int>(value);
}

enum class coarse_result { hit, miss, unreadable };

// A file as an attempt left it: its size and modification time.
struct file_stamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type time{};
  bool operator==(const file_stamp&) const = default;
};

file_stamp stamp_of(const char* path) {
  std::error_code e1, e2;
  const std::uintmax_t size = std::filesystem::file_size(path, e1);
  const std::filesystem::file_time_type time = std::filesystem::last_write_time(path, e2);
  if (e1 || e2) return {};
  return {true, size, time};
}

// What the attempts of one locating stage carry from one to the next.
struct attempt_memory {
  coarse_memory coarse;
  bool last_missed = false;  // the last attempt was a coarse miss, so its capture was the last grab
  int answered_without_capture = 0;    // attempts in a row since the last capture
  int answered_misses = 0;             // misses those attempts counted
  file_stamp capture_file, half_file;  // as the last capture left them
  // How long the last attempt that searched its whole picture took, from its
  // capture to its miss: every attempt that skips work lasts as long, so that
  // misses count up at the pace of full searches.
  int64_t full_attempt_us = 0;
};

// Counts a coarse miss, up to the limit; false when the count stood there.
bool count_miss(locator_state& locator) {
  if (locator.locator_miss_count >= locator_miss_limit) return false;
  ++locator.locator_miss_count;
  return true;
}

int rounded_ms(int64_t us) {
  return static_cast<int>((us + 500) / 1000);
}

// Pauses `ms` in pieces of at most a capture's pause, asking between them
// whether the screen changed; false, cut short, as soon as it did.
bool pause_while_unchanged(const platform& p, int ms) {
  for (;;) {
    const int piece = std::min(ms, capture_pause_ms);
    p.source.pause(piece);
    ms -= piece;
    if (ms <= 0) return true;
    if (!p.source.unchanged()) return false;
  }
}

// True when this attempt's capture is known without taking it: the last one
// missed, the platform reports the screen unchanged since it, and the files
// hold what it wrote. `checking` is set on the attempts that capture anyway
// to check such a report.
bool capture_known(const platform& p, const locator_state& locator, const attempt_memory& memory,
                   bool& checking) {
  checking = false;
  if (!memory.last_missed || !locator.trusts_unchanged_screen) return false;
  if (memory.answered_without_capture + 1 >= unchanged_screen_check_every) {
    checking = p.source.unchanged();
    return false;
  }
  return p.source.unchanged() && stamp_of(capture_file_name) == memory.capture_file &&
         stamp_of(half_capture_file_name) == memory.half_file;
}

// The coarse search on an attempt's first capture (released here): the
// half-size copy goes through "resize-capture.bmp" and is searched whole, or,
// given `memory`, only where it changed since the last attempt.
coarse_result coarse_search(cv::Mat& capture, const cv::Mat& half_template, cv::Point& hit,
                            coarse_memory* memory, coarse_path& path) {
  path = coarse_path::full_search;
  const cv::Size size = half_size(capture.size());
  // A capture too small to halve cannot show the game picture.
  if (size.empty()) return coarse_result::miss;
  cv::Mat half(size, CV_8UC3);
  cv::resize(capture, half, size, 0, 0, cv::INTER_LINEAR);
  capture.release();
  const bool written = cv::imwrite(half_capture_file_name, half);
  half.release();
  // An unwritten file would leave an older copy to be read back.
  if (!written) return coarse_result::unreadable;
  half = colour_load(half_capture_file_name);
  if (half.empty()) return coarse_result::unreadable;
  const coarse_answer answer = memory ? coarse_search_reusing(half, half_template, *memory, &path)
                                      : full_coarse_search(half, half_template);
  if (!answer.hit) return coarse_result::miss;
  hit = answer.location;
  return coarse_result::hit;
}

// The full-size search around the coarse hit, on a new capture.
bool refine(const cv::Mat& capture, cv::Point coarse_hit, const cv::Mat& game_template,
            cv::Point& origin) {
  const cv::Rect window = refinement_window(coarse_hit, capture.size(), game_template.size());
  // Only reachable when the two captures of the attempt differ in size.
  if (window.width < game_template.cols || window.height < game_template.rows) return false;
  const match_result m = match_template(capture, window, game_template);
  if (!is_hit(m.best_score, check_of(check_id::refinement).threshold)) return false;
  origin = locked_origin(coarse_hit, m.best_location);
  return true;
}

// Keeps capturing while the play-ball picture shows in the game area; false
// when a capture cannot be loaded.
bool play_ball_wait(const platform& p, const template_set& templates, cv::Point origin) {
  const template_check& play_ball = check_of(check_id::play_ball);
  for (;;) {
    const cv::Mat capture = capture_frame(p);
    if (capture.empty()) return false;
    if (!is_hit(check_score(capture, templates, origin, play_ball), play_ball.threshold))
      return true;
  }
}

// `game` resized by `scale`, or nothing when that leaves it empty or larger than `frame`.
cv::Mat scaled_game(const cv::Mat& game, double scale, cv::Size frame) {
  const cv::Size size(static_cast<int>(std::lround(game.cols * scale)),
                      static_cast<int>(std::lround(game.rows * scale)));
  if (size.width < 8 || size.height < 8 || size.width > frame.width || size.height > frame.height)
    return {};
  cv::Mat scaled;
  cv::resize(game, scaled, size, 0, 0, scale < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
  return scaled;
}

// The best match over `scales` of `game` in `region` of `frame`.
struct scale_match {
  double scale = 0.0;
  double score = -1.0;
  cv::Point location;  // in the frame
};
scale_match best_scale(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& game,
                       const std::vector<double>& scales) {
  scale_match best;
  for (const double s : scales) {
    const cv::Mat t = scaled_game(game, s, region.size());
    if (t.empty()) continue;
    const match_result m = match_template(frame, region, t);
    if (m.best_score > best.score) best = {s, m.best_score, region.tl() + m.best_location};
  }
  return best;
}

}  // namespace

double find_game_scale(const cv::Mat& frame, const cv::Mat& game, double lowest, double highest) {
  if (frame.empty() || game.empty()) return 0.0;
  // The coarse pass: copies at which the reference picture is 120 px wide.
  const double k = std::min(1.0, 120.0 / game.cols);
  cv::Mat small_frame, small_game;
  cv::resize(frame, small_frame, cv::Size(), k, k, cv::INTER_AREA);
  cv::resize(game, small_game, cv::Size(), k, k, cv::INTER_AREA);
  std::vector<double> scales;
  for (double s = lowest; s <= highest * 1.0001; s *= 1.03) scales.push_back(s);
  const scale_match coarse =
      best_scale(small_frame, {0, 0, small_frame.cols, small_frame.rows}, small_game, scales);
  if (coarse.score < 0.0) return 0.0;
  // The fine pass, at full size in a window around the coarse hit.
  scales.clear();
  for (int i = -14; i <= 14; ++i) scales.push_back(coarse.scale * (1.0 + 0.0025 * i));
  const double margin = 6.0 / k;
  const cv::Point at(static_cast<int>(coarse.location.x / k - margin),
                     static_cast<int>(coarse.location.y / k - margin));
  const cv::Size size(static_cast<int>(game.cols * coarse.scale * 1.04 + 2 * margin),
                      static_cast<int>(game.rows * coarse.scale * 1.04 + 2 * margin));
  const cv::Rect window = cv::Rect(at, size) & cv::Rect(0, 0, frame.cols, frame.rows);
  const scale_match fine = best_scale(frame, window, game, scales);
  return is_hit(fine.score, check_of(check_id::refinement).threshold) ? fine.scale : 0.0;
}

cv::Size half_size(cv::Size capture) {
  return {trunc_px(capture.width * 0.5), trunc_px(capture.height * 0.5)};
}

cv::Rect refinement_window(cv::Point coarse_hit, cv::Size capture, cv::Size game) {
  const double hx = coarse_hit.x;
  const double hy = coarse_hit.y;
  const int x = trunc_px(1.8 * hx);
  const int y = trunc_px(1.8 * hy);
  // Where 2.2 times the hit plus the game size passes the capture's edge, the
  // window runs to the edge. Measured from the truncated corner, so that the
  // last column and row are in it: trunc(Wc - 1.8 * hx) falls one short
  // whenever 1.8 * hx has a fraction, and a game picture flush with the edge
  // would lock one pixel off.
  const int width =
      capture.width >= 2.2 * hx + game.width ? trunc_px(0.4 * hx + game.width) : capture.width - x;
  const int height = capture.height >= 2.2 * hy + game.height ? trunc_px(0.4 * hy + game.height)
                                                              : capture.height - y;
  return {x, y, width, height};
}

cv::Point locked_origin(cv::Point coarse_hit, cv::Point best_in_window) {
  return {trunc_px(1.8 * coarse_hit.x + best_in_window.x),
          trunc_px(1.8 * coarse_hit.y + best_in_window.y)};
}

lock_result locate_game_area(const platform& p, const template_set& templates,
                             locator_state& locator, attempt_reuse reuse) {
  const cv::Mat& game_template = templates[template_id::game_area];
  lock_result lock;
  attempt_memory memory;
  int misses_to_scale_search = 0;
  const bool reusing = reuse == attempt_reuse::known_results;
  for (;;) {
    bool checking = false;
    if (reusing && capture_known(p, locator, memory, checking)) {
      // The capture would show what the last one showed: the same miss, once
      // as long has passed as a search of it would take. A change meanwhile
      // cuts the attempt short, uncounted: the next one captures.
      ++memory.answered_without_capture;
      const int ms = std::max(capture_pause_ms, rounded_ms(memory.full_attempt_us));
      if (pause_while_unchanged(p, ms) && count_miss(locator)) ++memory.answered_misses;
      continue;
    }
    const int64_t started = p.now_us();
    memory.answered_without_capture = 0;
    memory.last_missed = false;
    cv::Mat capture = capture_frame(p);
    if (capture.empty()) return lock;

    // Kept for a scale search should the coarse search miss.
    const bool searching_scales =
        locator.searches_scales && locator.found_scale == 0.0 && locator.locks == 0;
    const cv::Mat kept = searching_scales ? capture : cv::Mat();
    cv::Point coarse_hit;
    coarse_path path = coarse_path::full_search;
    const coarse_result coarse =
        coarse_search(capture, templates[template_id::half_game_area], coarse_hit,
                      reusing ? &memory.coarse : nullptr, path);
    // The screen was reported unchanged, yet the picture changed with no
    // report of it (one made after the question explains it): such reports
    // are not to be relied on, nor the misses counted on their word.
    if (checking && coarse != coarse_result::unreadable && path != coarse_path::same_picture &&
        !p.source.change_reported_before_grab()) {
      locator.trusts_unchanged_screen = false;
      locator.locator_miss_count -= memory.answered_misses;
    }
    memory.answered_misses = 0;
    if (coarse == coarse_result::miss) {
      if (reusing) {
        memory.last_missed = true;
        memory.capture_file = stamp_of(capture_file_name);
        memory.half_file = stamp_of(half_capture_file_name);
        const int64_t took = p.now_us() - started;
        if (path == coarse_path::full_search) {
          memory.full_attempt_us = took;
        } else if (const int pad = rounded_ms(memory.full_attempt_us - took); pad > 0) {
          p.source.pause(pad);
        }
      }
      count_miss(locator);
      if (searching_scales && misses_to_scale_search-- == 0) {
        misses_to_scale_search = scale_search_every - 1;
        locator.found_scale = find_game_scale(kept, game_template);
      }
      continue;
    }
    if (coarse == coarse_result::unreadable) continue;

    capture = capture_frame(p, capture_load::colour);
    if (capture.empty()) continue;
    cv::Point origin;
    if (!refine(capture, coarse_hit, game_template, origin)) continue;
    capture.release();

    // The lock. A play-ball wait cut short by an unreadable capture starts a
    // new attempt, but the record still empties if this lock said so.
    locator.game_origin = origin;
    ++locator.locks;
    lock.empty_record = lock.empty_record || locator.locator_miss_count == locator_miss_limit;
    locator.locator_miss_count = 0;
    if (play_ball_wait(p, templates, origin)) {
      lock.outcome = locate_outcome::locked;
      return lock;
    }
  }
}

}  // namespace pitchlog
