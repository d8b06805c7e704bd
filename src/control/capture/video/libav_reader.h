#pragma once
// The part of OpenCV's video capture that the video desktop uses, on FFmpeg's
// libraries: a thread decodes a few frames ahead while the watcher works, and
// a frame becomes a BGR picture only when asked for, so that frames passed
// over cost their decoding alone. The Windows build links FFmpeg statically
// (its OpenCV has no video input module). The names and property numbers are
// OpenCV's, so the video desktop reads a file the same way on both systems.
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#ifdef _WIN32
namespace cv {

enum VideoCaptureProperties {
  CAP_PROP_POS_MSEC = 0,
  CAP_PROP_FRAME_WIDTH = 3,
  CAP_PROP_FRAME_HEIGHT = 4,
  CAP_PROP_FPS = 5,
  CAP_PROP_FRAME_COUNT = 7,
};

enum VideoCaptureAPIs { CAP_FFMPEG = 1900 };

}  // namespace cv
#else
#include <opencv2/videoio.hpp>  // the property numbers only
#endif

namespace pitchlog {

struct libav_state;

// A video file's first video stream, decoded frame by frame into BGR pictures.
class video_reader {
 public:
  video_reader();
  ~video_reader();
  video_reader(const video_reader&) = delete;
  video_reader& operator=(const video_reader&) = delete;

  // Opens the UTF-8 `path` and starts decoding ahead; false when it holds no
  // video stream that decodes.
  bool open(const std::string& path, int api);
  bool isOpened() const;
  void release();
  // Takes the next decoded frame; false at the end or on an error.
  bool grab();
  // The frame taken last as 8-bit BGR, written into `picture`'s memory when
  // it already has that size and type.
  bool retrieve(cv::Mat& picture);
  // A property; 0 when unknown. The position is the time of the frame taken
  // last, from the stream's start.
  double get(int property) const;
  // The size of the frame taken last.
  cv::Size frame_size() const;
  // The time of the frame the next grab takes, as the position; false when
  // there is none or it has no time.
  bool next_position_ms(double& ms);

 private:
  std::unique_ptr<libav_state> state_;
};

}  // namespace pitchlog
