// The live video source: a reader thread decodes the video as it arrives and
// keeps only the newest frame; each grab takes that frame.
#include "control/capture/live_video.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include "control/capture/platform.h"
#include "control/capture/video/video_desktop.h"

namespace pitchlog {
namespace {

using steady = std::chrono::steady_clock;

// No new frame for this long is a stall: the watching stops there.
constexpr int stall_ms = 5000;
// How long the opening waits for a stream to start.
constexpr int open_timeout_ms = 30000;

struct live_video {
  std::string address;
  std::ostream* error = nullptr;
  cv::VideoCapture video;
  std::thread reader;
  std::atomic<bool> stop{false};

  // Shared with the reader thread, under `lock`.
  std::mutex lock;
  std::condition_variable arrived;
  cv::Mat latest;  // the newest frame, top row first; never written once published
  int64_t latest_count = 0;
  bool reader_done = false;
  bool reader_stalled = false;  // its last read gave up after waiting a stall's length

  // The grab's side.
  cv::Mat held;  // the frame of the last grab
  int64_t held_count = 0;
  std::vector<uint8_t> padded;
  source_end end = source_end::none;
};

// Says once why the video gives no more frames, and remembers it.
void end_video(live_video& v, source_end end, const std::string& what) {
  if (v.end != source_end::none) return;
  v.end = end;
  v.held.release();
  *v.error << "pitchlog: " << v.address << " " << what
           << "; watching stops there, and the reports up to there are kept" << std::endl;
}

void read_frames(live_video& v) {
  // A published frame is never written. The one it replaces is read into
  // again when nothing holds it any more (neither the grab side nor the
  // watcher), so a steady stream decodes into the same few buffers instead of
  // mapping new memory for every frame.
  cv::Mat frame;
  while (!v.stop) {
    const steady::time_point started = steady::now();
    bool read = false;
    try {
      read = v.video.read(frame);
    } catch (const cv::Exception&) {
    }
    const std::lock_guard<std::mutex> guard(v.lock);
    if (!read || frame.empty()) {
      v.reader_done = true;
      v.reader_stalled = steady::now() - started >= std::chrono::milliseconds(stall_ms * 9 / 10);
      v.arrived.notify_all();
      return;
    }
    if (frame.type() != CV_8UC3) continue;  // not a picture pitchlog can watch
    std::swap(v.latest, frame);
    if (frame.u != nullptr && frame.u->refcount > 1) frame.release();
    ++v.latest_count;
    v.arrived.notify_all();
  }
}

bool open_live_video(live_video& v, std::string& why) {
  const bool device = v.address.starts_with("/dev/");
  try {
    if (device) {
      v.video.open(v.address, cv::CAP_V4L2);
    } else {
      v.video.open(v.address, cv::CAP_FFMPEG,
                   {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, open_timeout_ms, cv::CAP_PROP_READ_TIMEOUT_MSEC,
                    stall_ms});
    }
  } catch (const cv::Exception&) {
  }
  if (!v.video.isOpened()) {
    why = "cannot open " + v.address +
          (device ? " as a capture device" : " as a video that FFmpeg can read");
    return false;
  }
  v.reader = std::thread(read_frames, std::ref(v));
  return true;
}

// Takes the newest frame, waiting for one newer than the last grab's.
bool grab_live_video(live_video& v, screen_grab& grab) {
  if (v.end != source_end::none) return false;
  std::unique_lock<std::mutex> guard(v.lock);
  const bool fresh = v.arrived.wait_for(guard, std::chrono::milliseconds(stall_ms), [&] {
    return v.latest_count > v.held_count || v.reader_done;
  });
  if (v.latest_count > v.held_count) {
    v.held = v.latest;
    v.held_count = v.latest_count;
  } else {
    const bool stalled = !fresh || v.reader_stalled;
    guard.unlock();
    end_video(
        v, stalled ? source_end::broke_off : source_end::ended,
        stalled ? "stalled: no frame for " + std::to_string(stall_ms / 1000) + " s" : "ended");
    return false;
  }
  guard.unlock();
  grab_of_picture(v.held, v.padded, grab);
  return true;
}

void close_live_video(live_video& v) {
  v.stop = true;
  if (v.reader.joinable()) v.reader.join();
  v.video.release();
}

}  // namespace

frame_source make_live_video_source(const std::string& address, std::ostream& error) {
  auto v = std::make_shared<live_video>();
  v->address = address;
  v->error = &error;
  frame_source s;
  s.name = address;
  s.open = [v](std::string& why) { return open_live_video(*v, why); };
  s.grab = [v](screen_grab& grab) { return grab_live_video(*v, grab); };
  // capture.bmp is written from the frame: the frame stands in for reading it back.
  s.grabbed_image = [v](cv::Mat& picture) {
    picture = v->held;
    return !picture.empty();
  };
  s.pause = sleep_pause;
  s.end = [v] { return v->end; };
  s.close = [v] { close_live_video(*v); };
  return s;
}

}  // namespace pitchlog

extern "C" void pitchlog_live_video_source(const std::string& address, std::ostream& error,
                                           pitchlog::frame_source& source) {
  source = pitchlog::make_live_video_source(address, error);
}
