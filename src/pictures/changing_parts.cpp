#include "pictures/changing_parts.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "control/templates/checks.h"
#include "pitch/ball_detector.h"

namespace pitchlog {

namespace {

// How the changes seen on the shots stand for all the looks of a part.
enum class spread {
  pixels,  // the shots show every look: the changed pixels themselves
  box,     // looks no shot shows lie between: the box around the changes
  region,  // a name: any pixel of its region, since names differ in length and letters
};

struct part_source {
  changing_part part;
  std::vector<check_id> regions;  // where pitchlog reads the part
  // Shots that differ in this part alone (as their labels ask).
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
  spread how;
};

// clang-format off
const std::array<part_source, changing_part_count - 1> sources = {{
    {changing_part::inning_sign, {check_id::inning_top}, {{"inning_top", "inning_bottom"}},
     spread::pixels},
    {changing_part::hand_sign, {check_id::hand_right}, {{"hand_right", "hand_left"}},
     spread::pixels},
    // A left-hander is another pitcher than a right-hander.
    {changing_part::pitcher_name, {check_id::pitcher_name}, {{"hand_right", "hand_left"}},
     spread::region},
    {changing_part::count_lamps, {check_id::count_no_ball_no_strike},
     {{"versus", "versus_two_strikes"}, {"versus", "versus_other_count"},
      {"versus_two_strikes", "versus_other_count"}},
     spread::box},
    {changing_part::pose,
     {check_id::finish_pose_right, check_id::pitch_end_right},
     {{"hand_right", "take_back_right"}, {"hand_right", "finish_right"},
      {"hand_left", "take_back_left"}, {"hand_left", "finish_left"}},
     spread::box},
}};
// clang-format on

// 255 where the two pictures differ by more than the tolerance in a channel.
cv::Mat changed_pixels(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  std::vector<cv::Mat> channels;
  cv::split(difference, channels);
  cv::Mat most = channels[0];
  for (size_t i = 1; i < channels.size(); ++i) most = cv::max(most, channels[i]);
  return most > change_tolerance;
}

// "a and b", "a, b and c".
std::string listed(const std::vector<std::string_view>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

part_change find_part(const part_source& source, const shot_set& shots, cv::Point origin,
                      cv::Size game) {
  part_change change{cv::Mat::zeros(game, CV_8U), {}};
  cv::Mat region = cv::Mat::zeros(game, CV_8U);
  for (check_id id : source.regions)
    region(check_region(check_of(id), {0, 0}, game) & cv::Rect({0, 0}, game)).setTo(255);

  const cv::Rect place(origin, game);
  // The game picture of a shot; none when the shot is missing or too small.
  const auto picture_of = [&](std::string_view name) {
    const std::optional<int> label = label_index(name);
    if (!label || shots[*label].empty()) return cv::Mat();
    const cv::Mat& shot = shots[*label];
    return (place & cv::Rect(0, 0, shot.cols, shot.rows)) == place ? shot(place) : cv::Mat();
  };
  std::vector<std::string_view> shown;
  cv::Mat changed = cv::Mat::zeros(game, CV_8U);
  for (const auto& [first, second] : source.pairs) {
    const cv::Mat a = picture_of(first), b = picture_of(second);
    if (a.empty() || b.empty()) continue;
    changed |= changed_pixels(a, b);
    for (std::string_view name : {first, second}) {
      if (std::find(shown.begin(), shown.end(), name) == shown.end()) shown.push_back(name);
    }
  }
  changed &= region;
  change.shown = listed(shown);
  if (cv::countNonZero(changed) == 0) return change;
  switch (source.how) {
    case spread::pixels:
      change.mask = changed;
      break;
    case spread::box:
      change.mask(cv::boundingRect(changed)).setTo(255);
      break;
    case spread::region:
      change.mask = region;
      break;
  }
  return change;
}

}  // namespace

changing_parts find_changing_parts(const shot_set& shots, cv::Point origin, cv::Size game) {
  changing_parts changes;
  for (const part_source& source : sources)
    changes[static_cast<int>(source.part)] = find_part(source, shots, origin, game);
  part_change& ball = changes[static_cast<int>(changing_part::ball_area)];
  ball.mask = cv::Mat::zeros(game, CV_8U);
  ball.mask(ball_search_region({0, 0}, game) & cv::Rect({0, 0}, game)).setTo(255);
  return changes;
}

bool must_avoid(template_id id, changing_part part) {
  using p = changing_part;
  switch (id) {
    case template_id::versus_ground:
      return true;
    case template_id::count_no_ball_no_strike:
    case template_id::count_two_strikes:
      return part != p::count_lamps && part != p::ball_area;
    case template_id::finish_pose_right:
    case template_id::finish_pose_left:
      return part == p::inning_sign || part == p::pitcher_name || part == p::count_lamps;
    case template_id::top_sign:
    case template_id::bottom_sign:
      return part != p::inning_sign;
    case template_id::right_hand_sign:
    case template_id::left_hand_sign:
      return part != p::hand_sign;
    default:
      return false;
  }
}

cv::Mat changes_to_avoid(const changing_parts& changes, template_id id, cv::Size game) {
  cv::Mat mask = cv::Mat::zeros(game, CV_8U);
  for (int part = 0; part < changing_part_count; ++part) {
    if (must_avoid(id, static_cast<changing_part>(part)) && changes[part].mask.size() == game)
      mask |= changes[part].mask;
  }
  return mask;
}

const char* part_name(changing_part part) {
  constexpr std::array<const char*, changing_part_count> names = {
      "the inning sign", "the hand sign",      "the pitcher's name",
      "the count lamps", "the pitcher's pose", "the ball's flight area"};
  return names[static_cast<int>(part)];
}

const char* part_short_name(changing_part part) {
  constexpr std::array<const char*, changing_part_count> names = {
      "inning sign", "hand sign", "name", "count lamps", "pose", "ball area"};
  return names[static_cast<int>(part)];
}

std::vector<cv::Rect> clear_rectangles(const cv::Mat& mask, const cv::Rect& area) {
  const cv::Rect inside = area & cv::Rect(0, 0, mask.cols, mask.rows);
  const cv::Mat m = mask(inside);
  const auto clear = [&](int x, int y) { return m.at<uint8_t>(y, x) == 0; };
  // For every row taken as a bottom edge, each column's run of clear pixels
  // above it, spread left and right as far as the runs are as tall: every
  // rectangle that cannot grow up, left or right. Those that can grow down
  // are left out.
  std::vector<int> height(m.cols, 0);
  std::set<std::tuple<int, int, int, int>> found;
  for (int y = 0; y < m.rows; ++y) {
    for (int x = 0; x < m.cols; ++x) height[x] = clear(x, y) ? height[x] + 1 : 0;
    for (int x = 0; x < m.cols; ++x) {
      if (height[x] == 0) continue;
      int left = x, right = x;
      while (left > 0 && height[left - 1] >= height[x]) --left;
      while (right + 1 < m.cols && height[right + 1] >= height[x]) ++right;
      bool grows_down = y + 1 < m.rows;
      for (int i = left; grows_down && i <= right; ++i) grows_down = clear(i, y + 1);
      if (!grows_down) found.emplace(left, y - height[x] + 1, right - left + 1, height[x]);
    }
  }
  std::vector<cv::Rect> rectangles;
  for (const auto& [x, y, w, h] : found) rectangles.emplace_back(inside.x + x, inside.y + y, w, h);
  std::stable_sort(rectangles.begin(), rectangles.end(),
                   [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
  return rectangles;
}

}  // namespace pitchlog
