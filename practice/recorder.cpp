#include "practice/recorder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "practice/desktop.h"
#include "practice/h264_writer.h"
#include "practice/options.h"

namespace practice {

namespace {

namespace fs = std::filesystem;

constexpr const char* usage =
    "usage: practice-game record --seed N [--innings K] [--pitches P] --out FILE --truth FILE\n"
    "                            [--codec ffv1|h264|mjpg] [--crf N] [--size WxH] [--scale S]\n"
    "                            [--x X --y Y]\n";

struct record_options {
  seeded_game_options seeded;
  std::string out, truth;
  video_encoding encoding;
  std::optional<int> width, height;
};

bool parse_size(std::string_view text, record_options& o) {
  const std::size_t by = text.find('x');
  int w = 0, h = 0;
  if (by == std::string_view::npos || !parse_number(text.substr(0, by), w) ||
      !parse_number(text.substr(by + 1), h) || w < 16 || h < 16 || w > 8192 || h > 8192)
    return false;
  o.width = w;
  o.height = h;
  return true;
}

bool parse_options(int argc, char** argv, record_options& o, std::string& error) {
  const bool read = read_options(
      {argv + 1, argv + argc},
      [&](std::string_view flag, std::string_view value) {
        const option_read shared = read_seeded_game_option(flag, value, o.seeded);
        if (shared != option_read::unknown) return shared;
        bool ok = true;
        if (flag == "--out") {
          o.out = value;
        } else if (flag == "--truth") {
          o.truth = value;
        } else if (flag == "--codec") {
          ok = value == "ffv1" || value == "h264" || value == "mjpg";
          o.encoding.codec = value == "h264"   ? video_codec::h264
                             : value == "mjpg" ? video_codec::mjpg
                                               : video_codec::ffv1;
        } else if (flag == "--size") {
          ok = parse_size(value, o);
        } else if (flag == "--crf") {
          int crf = -1;
          ok = parse_number(value, crf) && crf >= 0 && crf <= 51;
          o.encoding.crf = crf;
        } else if (flag == "--scale") {
          double scale = 0.0;
          ok = parse_number(value, scale) && scale >= 0.25 && scale <= 4.0;
          o.encoding.scale = scale;
        } else {
          return option_read::unknown;
        }
        return ok ? option_read::ok : option_read::bad_value;
      },
      error);
  if (!read) return false;
  if (!o.seeded.seed || o.out.empty() || o.truth.empty()) {
    error = "--seed, --out and --truth are needed";
    return false;
  }
  // Both files are written beside their names and renamed over them: a device
  // or a folder there would be replaced, not written to.
  for (const std::string* path : {&o.out, &o.truth}) {
    std::error_code ignored;
    const fs::file_status status = fs::status(*path, ignored);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      error = *path + " is not a regular file";
      return false;
    }
  }
  if (o.encoding.crf && o.encoding.codec != video_codec::h264) {
    error = "--crf is the H.264 encoder's quality: it needs --codec h264";
    return false;
  }
  return true;
}

const char* codec_name(video_codec codec) {
  return codec == video_codec::h264 ? "H.264" : codec == video_codec::mjpg ? "MJPG" : "FFV1";
}

// The FFmpeg fourcc: H.264 is "avc1" in MP4-like files, "H264" elsewhere.
int fourcc_of(video_codec codec, const fs::path& path) {
  switch (codec) {
    case video_codec::h264: {
      const std::string ext = path.extension().string();
      return ext == ".mp4" || ext == ".mov" || ext == ".m4v"
                 ? cv::VideoWriter::fourcc('a', 'v', 'c', '1')
                 : cv::VideoWriter::fourcc('H', '2', '6', '4');
    }
    case video_codec::mjpg:
      return cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    case video_codec::ffv1:
      break;
  }
  return cv::VideoWriter::fourcc('F', 'F', 'V', '1');
}

// The containers FFmpeg writes each codec into, by file extension.
bool container_holds(video_codec codec, const fs::path& path) {
  const std::string ext = path.extension().string();
  switch (codec) {
    case video_codec::h264:
      return ext == ".mp4" || ext == ".mkv" || ext == ".mov" || ext == ".m4v";
    case video_codec::mjpg:
      return ext == ".avi" || ext == ".mkv";
    case video_codec::ffv1:
      break;
  }
  return ext == ".mkv" || ext == ".avi";
}

// A hidden name beside `path` with the same extension, which tells FFmpeg the
// container.
fs::path temporary_beside(const fs::path& path) {
  std::string name(1, '.');
  name += path.stem().string();
  name += ".partial-";
  name += std::to_string(getpid());
  name += path.extension().string();
  return path.parent_path() / name;
}

void remove_quietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

bool write_text_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

std::string minutes_text(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000),
                static_cast<long long>(ms / 1000 % 60));
  return text;
}

}  // namespace

cv::Size recorded_size(int width, int height, double scale) {
  if (scale == 1.0) return {width, height};
  const auto even = [scale](int side) {
    return std::max(2, 2 * static_cast<int>(std::lround(side * scale / 2.0)));
  };
  return {even(width), even(height)};
}

int64_t recorded_frame_ms(int64_t k) {
  return k * 1000 / record_fps;
}

bool record_game(const scenario& game, const std::string& path, const video_encoding& encoding,
                 std::string& error, const std::function<void(int64_t ms)>& progress) {
  const video_codec codec = encoding.codec;
  if (!container_holds(codec, path)) {
    error = std::string("an ") + codec_name(codec) + " video cannot be written to " + path +
            " (FFV1: .mkv or .avi; H.264: .mp4, .mkv, .mov or .m4v; MJPG: .avi or .mkv)";
    return false;
  }
  desktop d = make_desktop(game);
  const int width = d.game.desktop.width, height = d.game.desktop.height;
  const cv::Size recorded = recorded_size(width, height, encoding.scale);
  const fs::path temporary = temporary_beside(path);
  // A chosen rate factor goes to x264 directly; otherwise OpenCV's writer.
  cv::VideoWriter writer;
  h264_writer at_crf;
  if (encoding.crf) {
    open_h264_writer(at_crf, temporary.string(), recorded, record_fps, *encoding.crf, error);
  } else {
    try {
      writer.open(temporary.string(), cv::CAP_FFMPEG, fourcc_of(codec, path), record_fps, recorded,
                  true);
    } catch (const cv::Exception&) {
    }
  }
  const auto write = [&](const cv::Mat& frame) {
    if (encoding.crf)
      write_h264_frame(at_crf, frame);
    else
      writer.write(frame);
  };
  if (!writer.isOpened() && !at_crf.codec) {
    remove_quietly(temporary);
    error = std::string("cannot write an ") + codec_name(codec) + " video of " +
            std::to_string(recorded.width) + "x" + std::to_string(recorded.height) + " to " + path;
    return false;
  }
  cv::Mat frame(height, width, CV_8UC3), scaled;
  int64_t frames = 0;
  for (; recorded_frame_ms(frames) < d.game.end_ms; ++frames) {
    d.now_ms = recorded_frame_ms(frames);
    pitchlog::screen_grab grab;
    grab_desktop(d, grab);
    // The desktop holds its rows bottom-up; the video wants them top-down.
    const cv::Mat bottom_up(height, width, CV_8UC3, const_cast<uint8_t*>(grab.pixels),
                            static_cast<std::size_t>(d.stride));
    cv::flip(bottom_up, frame, 0);
    if (recorded == frame.size()) {
      write(frame);
    } else {
      // As a video site or a scaler would: area averaging down, bicubic up.
      cv::resize(frame, scaled, recorded, 0, 0,
                 encoding.scale < 1.0 ? cv::INTER_AREA : cv::INTER_CUBIC);
      write(scaled);
    }
    if (progress && frames % record_fps == 0) progress(d.now_ms);
  }
  writer.release();
  const bool closed = !encoding.crf || close_h264_writer(at_crf);

  // FFmpeg does not report a failed write to OpenCV: read the file's frame
  // count back before it takes its name.
  cv::VideoCapture check;
  try {
    check.open(temporary.string(), cv::CAP_FFMPEG);
  } catch (const cv::Exception&) {
  }
  const double counted = check.isOpened() ? check.get(cv::CAP_PROP_FRAME_COUNT) : -1.0;
  check.release();
  std::error_code renamed;
  if (!closed || counted < frames - 1 || counted > frames + 1) {
    error = "the video written to " + path + " cannot be read back whole";
  } else {
    fs::rename(temporary, path, renamed);
    if (!renamed) return true;
    error = "cannot move the video to " + path + " (" + renamed.message() + ")";
  }
  remove_quietly(temporary);
  return false;
}

int run_record_command(int argc, char** argv) {
  record_options o;
  std::string error;
  if (!parse_options(argc, argv, o, error)) {
    std::fprintf(stderr, "practice-game record: %s\n%s", error.c_str(), usage);
    return 2;
  }
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);  // the reasons come from here, in one line
  scenario game = generate_scenario(*o.seeded.seed, o.seeded.innings);
  if (o.seeded.pitches > 0) end_after_pitch(game, o.seeded.pitches);
  // Without a size the video holds the game picture alone, as a capture card
  // records it; with one, the picture sits on a desktop, centred unless placed.
  game.desktop.width = o.width.value_or(game_width);
  game.desktop.height = o.height.value_or(game_height);
  game.desktop.game_x = o.seeded.x.value_or((game.desktop.width - game_width) / 2);
  game.desktop.game_y = o.seeded.y.value_or((game.desktop.height - game_height) / 2);
  finish_scenario(game);

  std::ostringstream truth;
  write_truth(truth, truth_of(game));
  const fs::path truth_temporary = temporary_beside(o.truth);
  if (!write_text_file(truth_temporary, truth.str())) {
    remove_quietly(truth_temporary);
    std::fprintf(stderr, "practice-game record: cannot write %s\n", o.truth.c_str());
    return 1;
  }

  const bool terminal = isatty(STDERR_FILENO) != 0;
  const std::string total = minutes_text(game.end_ms);
  int64_t last_line_ms = 0;
  const auto progress = [&](int64_t ms) {
    if (terminal) {
      std::fprintf(stderr, "\rpractice-game record: %s of %s", minutes_text(ms).c_str(),
                   total.c_str());
    } else if (ms - last_line_ms >= 60000) {
      std::fprintf(stderr, "practice-game record: %s of %s\n", minutes_text(ms).c_str(),
                   total.c_str());
      last_line_ms = ms;
    }
  };
  const bool recorded = record_game(game, o.out, o.encoding, error, progress);
  if (terminal) std::fputs("\r\033[K", stderr);
  std::error_code renamed;
  if (recorded) fs::rename(truth_temporary, o.truth, renamed);
  if (!recorded || renamed) {
    remove_quietly(truth_temporary);
    if (recorded) {
      remove_quietly(o.out);
      error = "cannot move the truth log to " + o.truth + " (" + renamed.message() + ")";
    }
    std::fprintf(stderr, "practice-game record: %s\n", error.c_str());
    return 1;
  }
  const cv::Size size = recorded_size(game.desktop.width, game.desktop.height, o.encoding.scale);
  std::printf("practice-game record: %s, %s, %dx%d with the game at (%d, %d), %zu pitches\n",
              o.out.c_str(), total.c_str(), size.width, size.height, game.desktop.game_x,
              game.desktop.game_y, truth_of(game).size());
  return 0;
}

}  // namespace practice
