#include "control/capture/video/libav_reader.h"

#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace pitchlog {

// How many decoded frames wait for the watcher. A capture takes about two
// frames of a 30 fps video, so four keep the watcher fed while the decoder
// thread works beside it; each is a frame of the decoder's own pool (3 MB at
// 1920 x 1080), not yet converted.
constexpr std::size_t frames_ahead = 4;

struct libav_state {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  SwsContext* scale = nullptr;
  AVPacket* packet = nullptr;  // the decoder thread's
  AVFrame* frame = nullptr;    // the frame taken last
  int stream = -1;
  bool draining = false;  // the file is read to its end; the decoder gives what it holds
  bool have_frame = false;
  int64_t frame_pts = AV_NOPTS_VALUE;
  // What the properties report, read once at the opening, before the decoder
  // thread starts using the libraries' structures.
  int width = 0, height = 0;
  double fps = 0, frame_count = 0;
  AVRational time_base{0, 1};
  int64_t start_pts = 0;

  // Decoding ahead: the thread fills `ready` up to frames_ahead; grab takes
  // from its front.
  std::thread decoder;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<AVFrame*> ready;
  bool finished = false;  // the decoder thread has given its last frame
  bool stopping = false;

  ~libav_state() {
    if (decoder.joinable()) {
      {
        const std::lock_guard<std::mutex> hold(lock);
        stopping = true;
      }
      changed.notify_all();
      decoder.join();
    }
    for (AVFrame*& f : ready) av_frame_free(&f);
    sws_freeContext(scale);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
};

namespace {

double seconds_of(AVRational r) {
  return r.den != 0 ? static_cast<double>(r.num) / r.den : 0.0;
}

double frames_per_second(const AVStream* s) {
  const double average = seconds_of(s->avg_frame_rate);
  return average > 0 ? average : seconds_of(s->r_frame_rate);
}

// Decodes the next frame of the stream into `f`; false at the end or on an
// error.
bool decode_one(libav_state& s, AVFrame* f) {
  for (;;) {
    const int received = avcodec_receive_frame(s.codec, f);
    if (received == 0) return true;
    if (received != AVERROR(EAGAIN)) return false;  // the end, or a broken stream
    if (s.draining) return false;
    // The decoder wants more: the next packet of the video stream, or the
    // end of the file.
    int read = 0;
    while ((read = av_read_frame(s.format, s.packet)) >= 0 && s.packet->stream_index != s.stream)
      av_packet_unref(s.packet);
    if (read < 0) {
      s.draining = true;
      avcodec_send_packet(s.codec, nullptr);
      continue;
    }
    const int sent = avcodec_send_packet(s.codec, s.packet);
    av_packet_unref(s.packet);
    // A packet that does not decode is skipped, as OpenCV's reader does.
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) return false;
  }
}

// The decoder thread: frames into `ready` until the stream ends or the
// reader is closed.
void decode_ahead(libav_state& s) {
  for (;;) {
    AVFrame* f = av_frame_alloc();
    const bool decoded = f != nullptr && decode_one(s, f);
    std::unique_lock<std::mutex> hold(s.lock);
    if (!decoded) {
      av_frame_free(&f);
      s.finished = true;
      hold.unlock();
      s.changed.notify_all();
      return;
    }
    s.changed.wait(hold, [&s] { return s.ready.size() < frames_ahead || s.stopping; });
    if (s.stopping) {
      av_frame_free(&f);
      return;
    }
    s.ready.push_back(f);
    hold.unlock();
    s.changed.notify_all();
  }
}

// A presentation time of the stream in milliseconds from its start.
double position_ms(const libav_state& s, int64_t pts) {
  return static_cast<double>(pts - s.start_pts) * seconds_of(s.time_base) * 1000.0;
}

bool open_state(libav_state& s, const std::string& path) {
  // FFmpeg's own messages at the level that OpenCV's reader takes from the
  // environment (pitchlog-replay asks for none).
  if (const char* level = std::getenv("OPENCV_FFMPEG_LOGLEVEL")) av_log_set_level(std::atoi(level));
  // FFmpeg's file protocol takes UTF-8 names on Windows.
  if (avformat_open_input(&s.format, path.c_str(), nullptr, nullptr) < 0) return false;
  if (avformat_find_stream_info(s.format, nullptr) < 0) return false;
  const AVCodec* decoder = nullptr;
  s.stream = av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (s.stream < 0 || decoder == nullptr) return false;
  s.codec = avcodec_alloc_context3(decoder);
  if (s.codec == nullptr ||
      avcodec_parameters_to_context(s.codec, s.format->streams[s.stream]->codecpar) < 0)
    return false;
  // One decoding thread, the reader's own, beside the watcher's: FFmpeg's
  // frame threads took 55 % more CPU time for the same frames (11.8 s against
  // 7.6 s for ten minutes at 720 x 480 on two cores), and a frame each.
  s.codec->thread_count = 1;
  if (avcodec_open2(s.codec, decoder, nullptr) < 0) return false;
  s.packet = av_packet_alloc();
  if (s.packet == nullptr || s.codec->width <= 0 || s.codec->height <= 0) return false;
  const AVStream* stream = s.format->streams[s.stream];
  s.width = s.codec->width;
  s.height = s.codec->height;
  s.fps = frames_per_second(stream);
  const double duration = s.format->duration != AV_NOPTS_VALUE
                              ? static_cast<double>(s.format->duration) / AV_TIME_BASE
                              : 0.0;
  s.frame_count = stream->nb_frames > 0 ? static_cast<double>(stream->nb_frames)
                                        : std::floor(duration * s.fps + 0.5);
  s.time_base = stream->time_base;
  s.start_pts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  try {
    s.decoder = std::thread(decode_ahead, std::ref(s));
  } catch (const std::system_error&) {
    return false;  // no thread to be had
  }
  return true;
}

}  // namespace

video_reader::video_reader() = default;
video_reader::~video_reader() = default;

bool video_reader::open(const std::string& path, int) {
  release();
  state_ = std::make_unique<libav_state>();
  if (!open_state(*state_, path)) release();
  return isOpened();
}

bool video_reader::isOpened() const {
  return state_ != nullptr;
}

void video_reader::release() {
  state_.reset();
}

bool video_reader::grab() {
  if (!state_) return false;
  libav_state& s = *state_;
  AVFrame* next = nullptr;
  {
    std::unique_lock<std::mutex> hold(s.lock);
    s.changed.wait(hold, [&s] { return !s.ready.empty() || s.finished; });
    if (!s.ready.empty()) {
      next = s.ready.front();
      s.ready.pop_front();
    }
  }
  s.changed.notify_all();
  s.have_frame = next != nullptr;
  if (!next) return false;
  av_frame_free(&s.frame);
  s.frame = next;
  s.frame_pts = next->best_effort_timestamp;
  return true;
}

bool video_reader::next_position_ms(double& ms) {
  if (!state_) return false;
  libav_state& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  s.changed.wait(hold, [&s] { return !s.ready.empty() || s.finished; });
  if (s.ready.empty() || s.ready.front()->best_effort_timestamp == AV_NOPTS_VALUE) return false;
  ms = position_ms(s, s.ready.front()->best_effort_timestamp);
  return true;
}

cv::Size video_reader::frame_size() const {
  if (!state_ || !state_->have_frame) return {};
  return {state_->frame->width, state_->frame->height};
}

bool video_reader::retrieve(cv::Mat& picture) {
  if (!state_ || !state_->have_frame) return false;
  libav_state& s = *state_;
  const AVFrame* f = s.frame;
  s.scale = sws_getCachedContext(s.scale, f->width, f->height,
                                 static_cast<AVPixelFormat>(f->format), f->width, f->height,
                                 AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (s.scale == nullptr) return false;
  // The scaler's vector code writes whole blocks of pixels and may write past
  // the end of a row whose length is no multiple of its block (at 1080 pixels
  // wide it corrupted the heap): the picture is the top left of a block of
  // memory whose rows are padded to 64 bytes, with a spare row below, which
  // take what it writes beyond.
  const int padded_cols = (f->width + 63) / 64 * 64;
  const bool fits = picture.rows == f->height && picture.cols == f->width &&
                    picture.type() == CV_8UC3 && picture.data == picture.datastart &&
                    picture.step[0] == static_cast<std::size_t>(padded_cols) * 3 &&
                    picture.dataend - picture.datastart >=
                        static_cast<std::ptrdiff_t>(picture.step[0]) * (f->height + 1);
  if (!fits) {
    const cv::Mat block(f->height + 1, padded_cols, CV_8UC3);
    picture = block(cv::Rect(0, 0, f->width, f->height));
  }
  uint8_t* rows[4] = {picture.data, nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(picture.step[0]), 0, 0, 0};
  return sws_scale(s.scale, f->data, f->linesize, 0, f->height, rows, strides) == f->height;
}

double video_reader::get(int property) const {
  if (!state_) return 0.0;
  const libav_state& s = *state_;
  switch (property) {
    case cv::CAP_PROP_FRAME_WIDTH:
      return s.width;
    case cv::CAP_PROP_FRAME_HEIGHT:
      return s.height;
    case cv::CAP_PROP_FPS:
      return s.fps;
    case cv::CAP_PROP_FRAME_COUNT:
      return s.frame_count;
    case cv::CAP_PROP_POS_MSEC:
      return s.frame_pts == AV_NOPTS_VALUE ? 0.0 : position_ms(s, s.frame_pts);
    default:
      return 0.0;
  }
}

}  // namespace pitchlog
