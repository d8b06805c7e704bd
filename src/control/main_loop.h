#pragma once
// The run: start-up, then the endless cycle of locating the game, watching its
// screens, catching and analysing each pitch, reporting, and waiting for the
// pitch to end; and every way the run ends, with its exit code.
#include <array>

#include <opencv2/core/mat.hpp>

#include "control/platform.h"
#include "control/watcher.h"
#include "pitch/pitch_type.h"
#include "screen/template_check.h"

namespace pitchlog {

// The finish pose the end-of-pitch wait watches, indexed by pitcher_hand.
inline constexpr std::array<template_check, 2> pitch_end_checks = {{
    {template_id::finish_pose_right, 290, 160, 120, 90, 0.6},
    {template_id::finish_pose_left, 290, 160, 120, 90, 0.6},
}};

// The inspection windows: the trigger frame, then frames 1 to 11 (frame 2 in
// frame 1's window, so that it ends up showing frame 2).
inline constexpr std::array<const char*, 12> inspection_windows = {
    "src_img11", "src_img1", "src_img1", "src_img2", "src_img3", "src_img4",
    "src_img5",  "src_img6", "src_img7", "src_img8", "src_img9", "src_img10"};

// Captures until the finish pose of `hand` is gone from its region (only that
// hand's pose is matched). False when a capture cannot be loaded.
bool pitch_end_wait(const platform& p, const template_set& templates, cv::Point origin,
                    pitcher_hand hand);

// Shows the held burst in the inspection windows, waits for a key, releases the
// pictures and closes the report file. Returns the exit code 0.
int inspection_exit(const platform& p, frame_burst& burst, watcher& w);

// The cycle after start-up, until an exit: -1 when the first capture of a
// locating attempt cannot be loaded, 0 through the inspection exit.
int watch_game(watcher& w, const platform& p);

// Start-up (reference pictures, text.txt), then the cycle. Returns the exit code.
int run_watcher(watcher& w, const platform& p);

// run_watcher on a fresh watcher.
int run_pitchlog(const platform& p);

}  // namespace pitchlog
