#pragma once
// An H.264 video written at a chosen constant rate factor, yuv420p, through
// FFmpeg's libraries: the encoder settings a screen recorder or a video site
// uses, which OpenCV's writer does not expose.
#include <string>

#include <opencv2/core/mat.hpp>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace practice {

struct h264_writer {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  cv::Mat yuv;  // the frame converted to planar 4:2:0
  int64_t frames = 0;
  bool failed = false;
};

// Opens `path` (its extension names the container) for `size` frames (even
// sides) at `fps` and rate factor `crf`. False, with the writer closed and why
// in `error`, when it cannot.
bool open_h264_writer(h264_writer& w, const std::string& path, cv::Size size, int fps, int crf,
                      std::string& error);

// Encodes one BGR frame of the opened size; false once a write has failed.
bool write_h264_frame(h264_writer& w, const cv::Mat& bgr);

// Flushes the encoder, finishes the file and frees the writer; false when the
// file could not be finished or any write failed.
bool close_h264_writer(h264_writer& w);

}  // namespace practice
