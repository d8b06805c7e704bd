#include "practice/h264_writer.h"

#include <cstring>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace practice {
namespace {

// Hands every packet the encoder has ready to the muxer.
bool drain(h264_writer& w) {
  for (;;) {
    const int got = avcodec_receive_packet(w.codec, w.packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) return false;
    av_packet_rescale_ts(w.packet, w.codec->time_base, w.stream->time_base);
    w.packet->stream_index = w.stream->index;
    if (av_interleaved_write_frame(w.format, w.packet) < 0) return false;
  }
}

void free_writer(h264_writer& w) {
  if (w.format && !(w.format->oformat->flags & AVFMT_NOFILE)) avio_closep(&w.format->pb);
  avformat_free_context(w.format);
  avcodec_free_context(&w.codec);
  av_frame_free(&w.frame);
  av_packet_free(&w.packet);
  w = h264_writer{};
}

}  // namespace

bool open_h264_writer(h264_writer& w, const std::string& path, cv::Size size, int fps, int crf,
                      std::string& error) {
  error = "cannot write an H.264 video of " + std::to_string(size.width) + "x" +
          std::to_string(size.height) + " to " + path;
  av_log_set_level(AV_LOG_QUIET);  // the reasons come from here, in one line
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  if (!encoder || size.width % 2 || size.height % 2) return false;
  if (avformat_alloc_output_context2(&w.format, nullptr, nullptr, path.c_str()) < 0) return false;
  w.codec = avcodec_alloc_context3(encoder);
  w.frame = av_frame_alloc();
  w.packet = av_packet_alloc();
  w.stream = avformat_new_stream(w.format, nullptr);
  bool opened = w.codec && w.frame && w.packet && w.stream;
  if (opened) {
    w.codec->width = size.width;
    w.codec->height = size.height;
    w.codec->time_base = AVRational{1, fps};
    w.codec->framerate = AVRational{fps, 1};
    w.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    if (w.format->oformat->flags & AVFMT_GLOBALHEADER)
      w.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set_int(w.codec->priv_data, "crf", crf, 0);
    opened = avcodec_open2(w.codec, encoder, nullptr) >= 0 &&
             avcodec_parameters_from_context(w.stream->codecpar, w.codec) >= 0;
  }
  if (opened) {
    // The rate as declared, so that readers count the length from it.
    w.stream->time_base = w.codec->time_base;
    w.stream->avg_frame_rate = w.codec->framerate;
    w.stream->r_frame_rate = w.codec->framerate;
    opened = (w.format->oformat->flags & AVFMT_NOFILE ||
              avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0) &&
             avformat_write_header(w.format, nullptr) >= 0;
  }
  if (opened) {
    w.frame->format = AV_PIX_FMT_YUV420P;
    w.frame->width = size.width;
    w.frame->height = size.height;
  }
  if (!opened) free_writer(w);
  return opened;
}

bool write_h264_frame(h264_writer& w, const cv::Mat& bgr) {
  if (w.failed || !w.codec) return false;
  // Planar I420 from OpenCV: the Y plane, then U and V at half size each way.
  cv::cvtColor(bgr, w.yuv, cv::COLOR_BGR2YUV_I420);
  const int width = w.codec->width, height = w.codec->height;
  uint8_t* y = w.yuv.data;
  uint8_t* u = y + static_cast<std::size_t>(width) * height;
  uint8_t* v = u + static_cast<std::size_t>(width / 2) * (height / 2);
  w.frame->data[0] = y;
  w.frame->data[1] = u;
  w.frame->data[2] = v;
  w.frame->linesize[0] = width;
  w.frame->linesize[1] = width / 2;
  w.frame->linesize[2] = width / 2;
  w.frame->pts = w.frames++;
  w.failed = avcodec_send_frame(w.codec, w.frame) < 0 || !drain(w);
  return !w.failed;
}

bool close_h264_writer(h264_writer& w) {
  if (!w.codec) return false;
  bool whole = !w.failed && avcodec_send_frame(w.codec, nullptr) >= 0 && drain(w);
  whole = av_write_trailer(w.format) >= 0 && whole;
  free_writer(w);
  return whole;
}

}  // namespace practice
