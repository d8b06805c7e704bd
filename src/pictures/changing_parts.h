#pragma once
// What changes on the versus view while its pictures must still match there:
// the inning sign from one half to the other, the hand sign and the
// pitcher's name from one pitcher to the next, the count lamps from one count
// to the next, the pitcher's pose, and the ball in flight. Each is found by
// comparing versus shots that, as their labels ask, differ in that part
// alone, inside the region pitchlog reads that part in; a game may draw one
// part over another's region (an inning sign over the count panel's corner),
// and a picture cut over it then misses where the part looks otherwise.
#include <array>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "control/templates/template_store.h"
#include "pictures/shot_folder.h"

namespace pitchlog {

enum class changing_part { inning_sign, hand_sign, pitcher_name, count_lamps, pose, ball_area };
inline constexpr int changing_part_count = 6;

// A pixel changes between two shots when one of its colour channels differs
// by more than this: less is the noise of a screenshot saved with loss.
inline constexpr int change_tolerance = 24;

struct part_change {
  cv::Mat mask;       // CV_8U of the game picture's size: 255 where the part changes
  std::string shown;  // the shots it is seen on ("inning_top and inning_bottom")
};
using changing_parts = std::array<part_change, changing_part_count>;

// The changes of every part for the game picture W x H (`game`) at `origin`
// on each shot. A part whose shots are missing or show no change has an
// empty mask (all zero). The signs change only between their two looks, both
// shot, so their changed pixels are taken as they are; the lamps and the pose
// have looks no shot shows (other counts, the frames between the poses), so
// the box around their changes is taken, and a name may take any pixel of the
// name region, since names differ in length and letters. The ball may fly
// anywhere in the region pitchlog searches it in.
changing_parts find_changing_parts(const shot_set& shots, cv::Point origin, cv::Size game);

// The pictures of data/ that must match on the versus view as it changes.
inline constexpr std::array<template_id, 9> versus_pictures = {
    template_id::versus_ground,     template_id::count_no_ball_no_strike,
    template_id::count_two_strikes, template_id::finish_pose_right,
    template_id::finish_pose_left,  template_id::top_sign,
    template_id::bottom_sign,       template_id::right_hand_sign,
    template_id::left_hand_sign};

// Whether picture `id` must stay clear of `part`: every part but the one it
// shows itself (a count picture shows the lamps, a pose the pitcher and his
// hand), and the ball only where pitchlog matches while a ball flies (the
// versus ground between pitches, the signs on the burst's first frame).
bool must_avoid(template_id id, changing_part part);

// The changes picture `id` must stay clear of, as one mask.
cv::Mat changes_to_avoid(const changing_parts& changes, template_id id, cv::Size game);

// "the inning sign", and a short ASCII name ("inning sign") for the sheet.
const char* part_name(changing_part part);
const char* part_short_name(changing_part part);

// The rectangles inside `area` that hold no pixel of `mask` and cannot grow
// in any direction without taking one, largest first.
std::vector<cv::Rect> clear_rectangles(const cv::Mat& mask, const cv::Rect& area);

}  // namespace pitchlog
