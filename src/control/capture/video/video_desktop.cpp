#include "control/capture/video/video_desktop.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <opencv2/imgproc.hpp>

#include "control/capture/clock_text.h"
#include "control/capture/screen_capture.h"

namespace pitchlog {
namespace {

// A decoder that stops this much short of the declared length has broken off.
constexpr int64_t broken_margin_us = 1'000'000;

// The time of the frame just decoded: its presentation time, or one frame
// after the one before when the decoder gives none (as for the last frames
// of some files) or one that does not move on.
int64_t decoded_frame_us(video_desktop& v, int64_t previous_us) {
  const double ms = v.video.get(cv::CAP_PROP_POS_MSEC);
  const int64_t us = std::isfinite(ms) ? std::llround(ms * 1000.0) : -1;
  if (previous_us < 0) return us < 0 ? 0 : us;
  return us > previous_us ? us : previous_us + v.frame_us;
}

// Decodes the next frame into `pending`; false when there is none.
bool decode_next(video_desktop& v, int64_t previous_us) {
  bool decoded = false;
  try {
    decoded = v.video.grab();
  } catch (const cv::Exception&) {
  }
  if (!decoded) {
    v.decoded_all = true;
    return false;
  }
  v.pending = true;
  v.pending_us = decoded_frame_us(v, previous_us);
  ++v.frames_decoded;
  return true;
}

// Converts the pending frame into the shown picture: in place, or into new
// memory while the watcher still holds the picture handed over last.
bool convert_pending(video_desktop& v) {
  v.pending = false;
  if (!v.shown.empty() && v.shown.u != nullptr && v.shown.u->refcount > 1) v.shown.release();
  // Retrieved into a second header of the shown picture: a frame of the same
  // size and type is written in place, any other into memory of its own, so
  // that the shown picture always has the size every grab describes.
  cv::Mat frame = v.shown;
  bool retrieved = false;
  try {
    retrieved = v.video.retrieve(frame);
  } catch (const cv::Exception&) {
  }
  return retrieved && show_frame(v, std::move(frame));
}

// True when the frame after the pending one has a time at or before the
// clock: the pending one will never be shown, so it need not be converted. A
// frame of another size than the video's is always converted, so that the
// video ends before it.
bool pending_passed_over(video_desktop& v) {
  if (v.video.frame_size() != cv::Size(v.width, v.height)) return false;
  double ms = 0;
  if (!v.video.next_position_ms(ms) || !std::isfinite(ms)) return false;
  const int64_t next_us = std::llround(ms * 1000.0);
  return next_us > v.pending_us && next_us <= v.now_us;
}

// Brings `shown` to the last frame at or before the clock (the first frame
// while the clock is before it). False when no frame can be shown.
bool decode_up_to_clock(video_desktop& v) {
  for (;;) {
    if (!v.pending) {
      const int64_t previous_us = v.frames_decoded > 0 ? v.pending_us : -1;
      if (v.decoded_all || !decode_next(v, previous_us)) break;
    }
    // A frame still ahead of the clock waits; the shown one is the last before it.
    if (v.pending_us > v.now_us && !v.shown.empty()) break;
    if (pending_passed_over(v)) {
      v.pending = false;
      continue;
    }
    if (!convert_pending(v)) {
      // A frame that decodes but will not convert ends the video there.
      v.decoded_all = true;
      break;
    }
  }
  return !v.shown.empty();
}

// The picture a grab hands over: the shown frame, or it resized to the
// reference scale (once per frame, in new memory while the watcher holds the
// last one).
const cv::Mat& handed_over(video_desktop& v) {
  if (v.to_reference == 1.0) return v.shown;
  if (v.rescaled_us != v.shown_us || v.rescaled.empty()) {
    if (!v.rescaled.empty() && v.rescaled.u != nullptr && v.rescaled.u->refcount > 1)
      v.rescaled.release();
    cv::resize(v.shown, v.rescaled, v.reference_size, 0, 0,
               v.to_reference < 1.0 ? cv::INTER_AREA : cv::INTER_CUBIC);
    v.rescaled_us = v.shown_us;
  }
  return v.rescaled;
}

}  // namespace

void bring_video_to_reference_scale(video_desktop& v, double game_scale) {
  v.to_reference = 1.0 / game_scale;
  v.reference_size = {static_cast<int>(std::lround(v.width * v.to_reference)),
                      static_cast<int>(std::lround(v.height * v.to_reference))};
  v.rescaled.release();
  v.rescaled_us = -1;
}

bool show_frame(video_desktop& v, cv::Mat frame) {
  if (frame.type() != CV_8UC3 || frame.cols != v.width || frame.rows != v.height) {
    if (!frame.empty()) {
      v.resized_to = frame.size();
      v.resized_at_us = v.pending_us;
    }
    return false;
  }
  v.shown = std::move(frame);
  v.shown_us = v.pending_us;
  return true;
}

int64_t video_capture_cost_us(int width, int height) {
  const double megapixels = static_cast<double>(width) * height / 1e6;
  return 3000 + std::llround(2100.0 * megapixels);
}

bool open_video_desktop(video_desktop& v, const std::string& path, std::string& error) {
  std::error_code status_error;
  const std::filesystem::file_status status = std::filesystem::status(path, status_error);
  if (!std::filesystem::exists(status)) {
    error = "no such file: " + path;
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    error = path + " is not a file";
    return false;
  }
  if (!std::ifstream(path, std::ios::binary)) {
    error = "cannot read " + path + " (" + std::strerror(errno) + ")";
    return false;
  }
  v.path = path;
  try {
    v.video.open(path, cv::CAP_FFMPEG);
  } catch (const cv::Exception&) {
  }
  const double fps = v.video.isOpened() ? v.video.get(cv::CAP_PROP_FPS) : 0.0;
  const double frames = v.video.isOpened() ? v.video.get(cv::CAP_PROP_FRAME_COUNT) : 0.0;
  v.width = v.video.isOpened() ? static_cast<int>(v.video.get(cv::CAP_PROP_FRAME_WIDTH)) : 0;
  v.height = v.video.isOpened() ? static_cast<int>(v.video.get(cv::CAP_PROP_FRAME_HEIGHT)) : 0;
  if (!v.video.isOpened() || v.width <= 0 || v.height <= 0 || !(fps > 0.0 && fps < 1000.0)) {
    v.video.release();
    error = path + " is not a video that FFmpeg can read";
    return false;
  }
  v.frame_us = std::llround(1e6 / fps);
  v.declared_us = frames > 0.0 ? std::llround(frames * 1e6 / fps) : 0;
  v.capture_cost_us = video_capture_cost_us(v.width, v.height);
  if (!decode_up_to_clock(v)) {
    v.video.release();
    error = path + " is not a video that FFmpeg can read (its first frame does not decode)";
    return false;
  }
  // The clock at 0 has decoded the second frame too, if there is one.
  if (v.decoded_all && v.frames_decoded < 2) {
    v.video.release();
    error = path + " holds a single picture, not a video";
    return false;
  }
  return true;
}

bool grab_video(video_desktop& v, screen_grab& grab) {
  if (v.ended) return false;
  ++v.grabs;
  if (!decode_up_to_clock(v) ||
      (v.decoded_all && !v.pending && v.now_us >= v.shown_us + v.frame_us)) {
    v.ended = true;
    v.shown.release();
    return false;
  }
  grab_of_picture(handed_over(v), v.padded, grab);
  return true;
}

void grab_of_picture(const cv::Mat& picture, std::vector<uint8_t>& padded, screen_grab& grab) {
  grab.width = picture.cols;
  grab.height = picture.rows;
  grab.top_down = true;
  const std::size_t row = static_cast<std::size_t>(picture.cols) * 3;
  const std::size_t stride = static_cast<std::size_t>(bmp_stride(picture.cols));
  if (row == stride && picture.isContinuous()) {
    grab.pixels = picture.data;
    return;
  }
  padded.assign(stride * static_cast<std::size_t>(picture.rows), 0);
  for (int y = 0; y < picture.rows; ++y)
    std::memcpy(padded.data() + stride * static_cast<std::size_t>(y), picture.ptr(y), row);
  grab.pixels = padded.data();
}

void pause_video(video_desktop& v, int milliseconds) {
  if (milliseconds <= 0) return;
  v.now_us += int64_t{milliseconds} * 1000 + v.capture_cost_us;
}

cv::Mat grabbed_video_image(const video_desktop& v) {
  const cv::Mat& picture = v.to_reference == 1.0 ? v.shown : v.rescaled;
  if (picture.empty()) return {};
  // The watcher may draw into what it holds: a copy when the next capture may
  // show this frame again, the frame itself when it is sure to show a newer one.
  if (v.pending && v.pending_us <= v.now_us) return picture;
  return picture.clone();
}

int64_t video_now_ms(const video_desktop& v) {
  return v.now_us / 1000;
}

bool video_broke_off(const video_desktop& v) {
  if (!v.decoded_all || v.declared_us <= 0) return false;
  const int64_t decoded_to = v.frames_decoded > 0 ? v.pending_us + v.frame_us : 0;
  return decoded_to + broken_margin_us < v.declared_us;
}

void connect_video_platform(video_desktop& v, platform& p) {
  p.source.name = v.path;
  p.source.grab = [&v](screen_grab& grab) { return grab_video(v, grab); };
  p.source.pause = [&v](int milliseconds) { pause_video(v, milliseconds); };
  p.now_us = [&v] { return v.now_us; };
  p.time_text = [](int64_t us) { return video_time_text(us / 1000); };
  p.source.grabbed_image = [&v](cv::Mat& picture) {
    picture = grabbed_video_image(v);
    return !picture.empty();
  };
  p.source.end = [&v] {
    if (!v.ended) return source_end::none;
    return v.resized_at_us >= 0 || video_broke_off(v) ? source_end::broke_off : source_end::ended;
  };
}

}  // namespace pitchlog
