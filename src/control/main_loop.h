#pragma once
// The run: start-up, then the endless cycle of locating the game, watching its
// screens, catching and analysing each pitch, reporting, and waiting for the
// pitch to end; and every way the run ends, with its exit code.
#include <array>
#include <string>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/exit_code.h"
#include "control/watcher.h"
#include "pitch/pitch_classifier.h"
#include "record/pitch_type.h"

namespace pitchlog {

// The inspection windows: the trigger frame, then frames 1 to 11 (frame 2 in
// frame 1's window, so that it ends up showing frame 2).
inline constexpr std::array<const char*, 12> inspection_windows = {
    "src_img11", "src_img1", "src_img1", "src_img2", "src_img3", "src_img4",
    "src_img5",  "src_img6", "src_img7", "src_img8", "src_img9", "src_img10"};

// What a lock means for the run: the ball work images made while no burst
// was counted, and the record emptied when the lock says so, with the counters
// that count towards it (bursts, unrecognised captures in a row, the count
// read for the coming pitch).
void take_lock(watcher& w, const lock_result& lock);

// What identification read, counted in the record: who pitched (every inning
// sign that hit), and for a decided half a new pitcher and the pitch for him,
// with the count flags of the scene loop.
void count_identified_pitch(watcher& w, const pitch_identity& id);

// Frames 3 to 11 of a kept burst tracked and released, the pitch classified,
// counted, logged with the time the burst began, and reported; the count
// panel is then read afresh for the next pitch. Returns the type it was named.
pitch_type analyse_pitch(watcher& w, const platform& p, frame_burst& burst,
                         const cv::Rect& search_region);

// The second half of analyse_pitch, on a track already followed.
pitch_type record_tracked_pitch(watcher& w, const platform& p, const ball_track& track);

// Captures until the finish pose of `hand` is gone from its end-of-pitch
// region (only that hand's pose is matched). False when a capture cannot be
// loaded.
bool pitch_end_wait(const platform& p, const template_set& templates, cv::Point origin,
                    pitcher_hand hand);

// Shows the held burst in the inspection windows, waits for a key, releases the
// pictures and closes the report file.
run_outcome inspection_exit(const platform& p, frame_burst& burst, watcher& w);

// A pitch that cannot be read, when the run goes on past it: counted as
// unread for `why`, an inning half's burst shown, the burst released, the
// previous pitch type forgotten (the next pitch follows no known type), the
// count panel read afresh; then the wait until the finish pose is gone: both
// hands' for an unknown inning half (the hand was not read), the read hand's
// otherwise. False when a capture cannot be loaded.
bool pass_unread_pitch(watcher& w, const platform& p, frame_burst& burst, unread_reason why);

// The cycle after start-up, until an exit: screen_lost when the first capture
// of a locating attempt cannot be loaded, inspected through the inspection exit.
run_outcome watch_game(watcher& w, const platform& p);

// Start-up (reference pictures, text.txt), then the cycle; how the run ended,
// a lost screen told apart from the end of a video by the source.
run_outcome run_watcher(watcher& w, const platform& p);

// run_watcher on a fresh watcher, as the process runs it, between the opening
// of the platform's source (refused with one line on the error stream) and
// its closing: SIGINT and SIGTERM that arrive while a report is written end
// the process only once the report is whole on the console and in text.txt.
run_outcome run_pitchlog(const platform& p);

}  // namespace pitchlog
