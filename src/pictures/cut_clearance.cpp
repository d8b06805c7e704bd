#include "pictures/cut_clearance.h"

#include <algorithm>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pictures/check_pictures.h"
#include "pictures/cuts.h"

namespace pitchlog {

namespace {

// Clear rectangles tried against the picture's checks, largest first, before
// the next place is searched: the largest ones differ by a row or a column.
constexpr size_t tries = 8;

// Whether `picture` makes every judged check of `id` on every shot come out
// as its label wants.
bool passes_own_checks(template_id id, const cv::Mat& picture, const shot_set& shots,
                       cv::Point origin, cv::Size game) {
  for (int check = 0; check < check_count; ++check) {
    if (checks[check].id != id) continue;
    for (int label = 0; label < label_count; ++label) {
      if (shots[label].empty() || expected(check, shot_labels[label]) == expectation::not_judged)
        continue;
      if (is_failure(score_check(check, label, picture, shots[label], origin, game).result))
        return false;
    }
  }
  return true;
}

}  // namespace

cut_clearance clear_of_changes(template_id id, const cv::Rect& cut, const changing_parts& changes,
                               const shot_set& shots, cv::Point origin, cv::Size game) {
  cut_clearance c;
  c.picture = id;
  c.cut = cut;
  c.avoid = changes_to_avoid(changes, id, game);
  const cv::Rect whole({0, 0}, game);
  const cv::Rect inside = cut & whole;
  for (int part = 0; part < changing_part_count; ++part) {
    if (!must_avoid(id, static_cast<changing_part>(part)) || changes[part].mask.size() != game)
      continue;
    const cv::Mat under = changes[part].mask(inside);
    if (cv::countNonZero(under) > 0)
      c.under.emplace_back(static_cast<changing_part>(part), cv::boundingRect(under) + inside.tl());
  }
  if (c.under.empty()) return c;

  const cv::Mat& shot = shots[picture_shot[static_cast<int>(id)]];
  const cv::Rect place(origin, game);
  if (shot.empty() || (place & cv::Rect(0, 0, shot.cols, shot.rows)) != place) return c;
  const cv::Mat source = shot(place);
  std::vector<cv::Rect> tried;
  // The largest clear rectangles of `within` in turn, until one passes.
  const auto search = [&](const cv::Rect& within) {
    size_t n = 0;
    for (const cv::Rect& r : clear_rectangles(c.avoid, within)) {
      if (!c.clear) c.clear = r;
      if (std::find(tried.begin(), tried.end(), r) != tried.end()) continue;
      if (n++ == tries) break;
      tried.push_back(r);
      if (passes_own_checks(id, source(r).clone(), shots, origin, game)) {
        c.clear = r;
        c.passes = true;
        return;
      }
    }
  };
  search(inside);
  if (!c.passes) search(cut_area(id, game));
  return c;
}

std::string clearance_text(const cut_clearance& clearance, const changing_parts& changes) {
  std::string text = "the cut " + rectangle_text(clearance.cut) + " covers ";
  for (size_t i = 0; i < clearance.under.size(); ++i) {
    const auto& [part, box] = clearance.under[i];
    if (i > 0) text += i + 1 == clearance.under.size() ? " and " : ", ";
    const std::string& shown = changes[static_cast<int>(part)].shown;
    text += std::string(part_name(part)) + " (changing at " + rectangle_text(box) +
            (shown.empty() ? "" : " between " + shown) + ")";
  }
  if (!clearance.clear) return text + "; no part of its region stays clear of it";
  const std::string clear = rectangle_text(*clearance.clear);
  if (!clearance.passes)
    return text + "; no cut clear of it passes the picture's checks (the largest, " + clear +
           ", does not): cut it from what tells its screen apart and stays the same";
  const bool inside = (*clearance.clear & clearance.cut) == *clearance.clear;
  return text + "; " +
         (inside ? "the largest cut inside it clear of that, which passes its checks: "
                 : "no part of it clear of that passes its checks; one elsewhere in its region "
                   "that does: ") +
         clear;
}

}  // namespace pitchlog
