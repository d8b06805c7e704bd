#include "practice/data_pictures.h"

#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "practice/renderer.h"

namespace practice {

namespace {
using gs = game_screen;
constexpr pose set = pose::set;
constexpr pose finish = pose::finish;
constexpr pose take_back = pose::take_back;
constexpr hand right = hand::right;
constexpr hand left = hand::left;
constexpr half top = half::top;
constexpr half bottom = half::bottom;
}  // namespace

// clang-format off
const std::array<data_picture, 22> data_picture_table = {{
  // file                                          screen                      S  pose       hand   half    cut (x, y, w, h)         half size
  {"低め.png",                                      gs::versus,                 0, set,       right, top,    {0, 0, 720, 480},        false},
  {"０ボール０ストライク.png",                      gs::versus,                 0, set,       right, top,    {15, 3, 41, 35},          false},
  {"２ストライク.png",                              gs::versus,                 2, set,       right, top,    {15, 19, 37, 19},         false},
  {"ボールカウント.png",                            gs::versus,                 0, set,       right, top,    {1, 2, 57, 18},          false},
  {"グラウンド（対戦）画面・一部.png",              gs::versus,                 0, set,       right, top,    {10, 70, 40, 80},        false},
  {"グラウンド（フィールド）画面・一部.png",        gs::field,                  0, set,       right, top,    {0, 230, 70, 60},        false},
  {"タイム画面・一部.png",                          gs::time_out,               0, set,       right, top,    {10, 0, 90, 60},         false},
  {"スコアボード画面・一部.png",                    gs::scoreboard,             0, set,       right, top,    {370, 70, 60, 50},       false},
  {"タイトル画面・一部.png",                        gs::title,                  0, set,       right, top,    {170, 20, 130, 100},     false},
  {"警告画面・一部.png",                            gs::warning,                0, set,       right, top,    {280, 40, 130, 90},      false},
  {"投球フィニッシュポーズ（右投手）・一部.png",    gs::versus,                 0, finish,    right, top,    {290, 160, 110, 90},     false},
  {"投球フィニッシュポーズ（左投手）・一部.png",    gs::versus,                 0, finish,    left,  top,    {290, 160, 110, 90},     false},
  {"ゲームセット画面・一部.png",                    gs::game_set,               0, set,       right, top,    {70, 310, 110, 40},      false},
  {"プレイボール画面・一部.png",                    gs::play_ball,              0, set,       right, top,    {105, 200, 510, 80},     false},
  {"相手のタイム待ち画面・一部.png",                gs::opponent_time_out_wait, 0, set,       right, top,    {160, 210, 130, 50},     false},
  {"投球テイクバックポーズ（右投手）・一部.png",    gs::versus,                 0, take_back, right, top,    {290, 160, 110, 90},     false},
  {"投球テイクバックポーズ（左投手）・一部.png",    gs::versus,                 0, take_back, left,  top,    {290, 160, 110, 90},     false},
  {"resize-低め.png",                               gs::versus,                 0, set,       right, top,    {0, 0, 720, 480},        true},
  {"オモテ.png",                                    gs::versus,                 0, set,       right, top,    {61, 10, 78, 40},        false},
  {"ウラ.png",                                      gs::versus,                 0, set,       right, bottom, {61, 10, 78, 40},        false},
  {"右投手.png",                                    gs::versus,                 0, set,       right, top,    {550, 39, 130, 31},      false},
  {"左投手.png",                                    gs::versus,                 0, set,       left,  top,    {550, 39, 130, 31},      false},
}};
// clang-format on

game_view data_picture_view(const data_picture& picture) {
  game_view view;
  view.screen = picture.screen;
  view.strikes = picture.strikes;
  view.pitcher_pose = picture.pitcher_pose;
  view.pitcher_hand = picture.pitcher_hand;
  view.inning_half = picture.inning_half;
  view.pitcher_name = "TANAKA";
  return view;
}

cv::Mat make_data_picture(const data_picture& picture) {
  cv::Mat game;
  render_game(data_picture_view(picture), game);
  cv::Mat cut = game(picture.cut).clone();
  if (!picture.half_size) return cut;
  cv::Mat half_size;
  cv::resize(cut, half_size, cv::Size(), 0.5, 0.5, cv::INTER_LINEAR);
  return half_size;
}

bool write_data_pictures(const std::filesystem::path& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  for (const data_picture& picture : data_picture_table) {
    const std::filesystem::path path = dir / std::string(picture.file_name);
    bool written = false;
    try {
      written = cv::imwrite(path.string(), make_data_picture(picture));
    } catch (const cv::Exception& e) {
      error = e.what();
    }
    if (!written) {
      error = "cannot write " + path.string() + (error.empty() ? "" : ": " + error);
      return false;
    }
  }
  return true;
}

}  // namespace practice
