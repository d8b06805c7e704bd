#pragma once
// A recorded video as the desktop. Each grab shows the frame of the video at a
// virtual clock (the last frame whose time is at or before it), and the
// capture's pause moves the clock on by its length plus a modelled capture
// cost; nothing sleeps, so a replay runs as fast as the analysis allows and
// sees the same frames every time. The whole frame is the desktop.
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/capture/video/libav_reader.h"

namespace pitchlog {

// What a capture costs on top of its pause in the model, in microseconds: 3 ms
// for the checks of a capture, which look at the game picture alone, plus
// 2.1 ms per million desktop pixels for the grab and the hand-over of the file
// (as measured live at 1920 x 1080).
int64_t video_capture_cost_us(int width, int height);

struct video_desktop {
  video_reader video;
  std::string path;
  int width = 0;
  int height = 0;
  int64_t frame_us = 0;     // one frame's length at the video's frame rate
  int64_t declared_us = 0;  // the length the file declares; 0: unknown
  int64_t capture_cost_us = 0;
  int64_t now_us = 0;  // the virtual clock, from the start of the video

  // Decoding: frames are decoded in order; the one decoded last is converted
  // to a picture only when it is the last at or before the clock.
  bool pending = false;      // a decoded frame not yet converted
  int64_t pending_us = 0;    // the time of the frame decoded last
  bool decoded_all = false;  // the decoder has no more frames
  int64_t frames_decoded = 0;
  cv::Mat shown;  // the frame the clock is at, top row first
  int64_t shown_us = -1;
  std::vector<uint8_t> padded;  // rows padded to 4 bytes, for widths that need it
  bool ended = false;           // the clock has passed the last frame
  int grabs = 0;
  // A frame of another size than the video's first (recordings joined into
  // one file) ends the video before it: its size and time, once met.
  cv::Size resized_to{};
  int64_t resized_at_us = -1;

  // A video of the game at another scale than the reference pictures: every
  // frame handed over is first resized by `to_reference` to `reference_size`.
  double to_reference = 1.0;
  cv::Size reference_size{};
  cv::Mat rescaled;  // the shown frame, resized
  int64_t rescaled_us = -1;
};

// From now on hands over every frame resized so that a game picture shown at
// `game_scale` times the reference pictures' size comes at their size.
void bring_video_to_reference_scale(video_desktop& v, double game_scale);

// Opens the video; false, with one line saying why in `error`, when the file
// is missing, unreadable, not a video FFmpeg can decode, or a single picture.
bool open_video_desktop(video_desktop& v, const std::string& path, std::string& error);

// Takes a frame just decoded (at `pending_us`) as the shown picture when it
// has the video's size and type. False otherwise, with the shown picture as it
// was and a frame of another size noted in `resized_to` and `resized_at_us`:
// the video ends before that frame.
bool show_frame(video_desktop& v, cv::Mat frame);

// Points `grab` at the frame at the virtual clock, decoding up to it. False
// once the clock has passed the video's last frame.
bool grab_video(video_desktop& v, screen_grab& grab);

// Points `grab` at a picture of 8-bit colour, top row first: at its own
// pixels where its rows need no padding, else at a padded copy in `padded`.
void grab_of_picture(const cv::Mat& picture, std::vector<uint8_t>& padded, screen_grab& grab);

// Moves the clock on by `milliseconds`, plus the capture cost for a capture's
// pause (any pause longer than 0).
void pause_video(video_desktop& v, int milliseconds);

// The picture of the last grab, for the watcher to keep: "capture.bmp" was
// written from these pixels, so it stands in for reading the file back.
cv::Mat grabbed_video_image(const video_desktop& v);

// The time within the video the clock stands at, in milliseconds.
int64_t video_now_ms(const video_desktop& v);

// True when the decoder stopped more than a second short of the length the
// file declares: the file is cut short or broken there.
bool video_broke_off(const video_desktop& v);

// Fills the platform's source (its name, grab, pause, picture of the grab and
// why it ended) and clock (the video time) from `v`, which must outlive it.
void connect_video_platform(video_desktop& v, platform& p);

}  // namespace pitchlog
