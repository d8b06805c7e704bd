#pragma once
// The part of OpenCV's video capture that the video desktop uses, on FFmpeg's
// libraries linked in statically, for the Windows build: its OpenCV has no
// video input module, and so no decoder that needs DLLs beside the program.
// The names and property numbers are OpenCV's, so the video desktop reads a
// file the same way on both systems.
#include <memory>
#include <string>

#include <opencv2/core.hpp>

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

namespace pitchlog {

struct libav_state;

// A video file's first video stream, decoded frame by frame into BGR pictures.
class video_reader {
 public:
  video_reader();
  ~video_reader();
  video_reader(const video_reader&) = delete;
  video_reader& operator=(const video_reader&) = delete;

  // Opens the UTF-8 `path`; false when it holds no video stream that decodes.
  bool open(const std::string& path, int api);
  bool isOpened() const;
  void release();
  // Decodes the next frame; false at the end or on an error.
  bool grab();
  // The frame decoded last as 8-bit BGR, written into `picture`'s memory when
  // it already has that size and type.
  bool retrieve(cv::Mat& picture);
  // A property; 0 when unknown. The position is the time of the frame
  // decoded last, from the stream's start.
  double get(int property) const;

 private:
  std::unique_ptr<libav_state> state_;
};

}  // namespace pitchlog
