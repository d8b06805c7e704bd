#include "control/templates/template_store.h"

#include <cstdint>
#include <limits>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace pitchlog {

const std::array<std::string_view, data_picture_count> template_file_names = {
    "低め.png",
    "０ボール０ストライク.png",
    "２ストライク.png",
    "ボールカウント.png",
    "グラウンド（対戦）画面・一部.png",
    "グラウンド（フィールド）画面・一部.png",
    "タイム画面・一部.png",
    "スコアボード画面・一部.png",
    "タイトル画面・一部.png",
    "警告画面・一部.png",
    "投球フィニッシュポーズ（右投手）・一部.png",
    "投球フィニッシュポーズ（左投手）・一部.png",
    "ゲームセット画面・一部.png",
    "プレイボール画面・一部.png",
    "相手のタイム待ち画面・一部.png",
    "投球テイクバックポーズ（右投手）・一部.png",
    "投球テイクバックポーズ（左投手）・一部.png",
    "resize-低め.png",
    "オモテ.png",
    "ウラ.png",
    "右投手.png",
    "左投手.png",
};

cv::Mat load_data_picture(template_id id) {
  const int i = static_cast<int>(id);
  if (i < 0 || i >= data_picture_count) return {};
  return colour_load(data_path(template_file_names[i]));
}

bool load_template_set(template_set& set) {
  // Every picture is tried before the verdict, so one missing file does not
  // hide the state of the others.
  bool all_loaded = true;
  for (int i = 0; i < template_count; ++i) {
    set.images[i] = load_data_picture(static_cast<template_id>(i));
    all_loaded = all_loaded && !set.images[i].empty();
  }
  return all_loaded;
}

namespace {

// A missing file is an ordinary outcome here (a picture not shipped, a name
// crop not yet cut): answer it with an empty image before the decoder would
// warn about it on standard error. A name the loader's own file calls cannot
// open (Japanese on Windows) is read by the platform's and decoded from
// memory; every other, "capture.bmp" among them, is loaded directly, which
// costs a tenth of the CPU time for a whole desktop.
cv::Mat load(const std::string& path, int flags) {
  if (!regular_file_exists(path)) return cv::Mat();
  if (image_loader_opens(path)) return cv::imread(path, flags);
  std::string bytes;
  if (!read_whole_file(path, bytes) || bytes.empty()) return cv::Mat();
  return cv::imdecode(cv::Mat(1, static_cast<int>(bytes.size()), CV_8U, bytes.data()), flags);
}

}  // namespace

cv::Mat colour_load(const std::string& path) {
  return load(path, cv::IMREAD_COLOR);
}

cv::Mat as_stored_load(const std::string& path) {
  return load(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
}

namespace {

// The region lies wholly inside the frame and can hold the template, and the
// two pictures are of one kind the matcher accepts.
bool can_match(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& templ) {
  if (frame.empty() || templ.empty() || frame.dims != 2 || templ.dims != 2) return false;
  if (frame.type() != templ.type()) return false;
  if (frame.depth() != CV_8U && frame.depth() != CV_32F) return false;
  if (region.x < 0 || region.y < 0 || region.width <= 0 || region.height <= 0) return false;
  if (int64_t{region.x} + region.width > frame.cols ||
      int64_t{region.y} + region.height > frame.rows)
    return false;
  return templ.cols <= region.width && templ.rows <= region.height;
}

// A picture of one colour has no pattern to correlate: its coefficient is
// 0 / 0, which the matcher reports as a perfect 1 everywhere. Almost every
// picture differs from its first pixel within a few bytes.
bool is_single_colour(const cv::Mat& templ) {
  const size_t pixel_bytes = templ.elemSize();
  const size_t row_bytes = templ.cols * pixel_bytes;
  const uint8_t* first = templ.ptr<uint8_t>(0);
  for (int y = 0; y < templ.rows; ++y) {
    const uint8_t* row = templ.ptr<uint8_t>(y);
    for (size_t i = 0; i < row_bytes; ++i) {
      if (row[i] != first[i % pixel_bytes]) return false;
    }
  }
  return true;
}

}  // namespace

cv::Mat match_score_map(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& templ) {
  if (!can_match(frame, region, templ) || is_single_colour(templ)) return cv::Mat();
  // frame(region) is a view, so the capture is neither copied nor changed;
  // the score map is (region - template + 1) in each direction.
  cv::Mat scores;
  cv::matchTemplate(frame(region), templ, scores, cv::TM_CCOEFF_NORMED);
  return scores;
}

match_result match_template(const cv::Mat& frame, const cv::Rect& region, const cv::Mat& templ) {
  match_result result;
  const cv::Mat scores = match_score_map(frame, region, templ);
  if (scores.empty()) {
    result.best_score = std::numeric_limits<double>::quiet_NaN();
    result.worst_score = std::numeric_limits<double>::quiet_NaN();
    return result;
  }
  cv::minMaxLoc(scores, &result.worst_score, &result.best_score, &result.worst_location,
                &result.best_location);
  return result;
}

}  // namespace pitchlog
