#include "practice/shots.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/screen_capture.h"
#include "practice/data_pictures.h"
#include "practice/desktop.h"
#include "practice/renderer.h"

namespace practice {

namespace fs = std::filesystem;

namespace {

// The view of a data/ picture, by its file name.
game_view view_of(std::string_view file_name) {
  for (const data_picture& p : data_picture_table) {
    if (p.file_name == file_name) return data_picture_view(p);
  }
  return {};
}

}  // namespace

std::vector<labelled_view> shot_views() {
  game_view other_count = view_of("低め.png");
  other_count.balls = 1;
  // The left-hander is another pitcher than the right-hander, with his own
  // name, as in a real game; no picture of data/ takes the name in.
  const auto left_hander = [](std::string_view file_name) {
    game_view view = view_of(file_name);
    view.pitcher_name = "SUZUKI";
    return view;
  };
  return {
      {"title", view_of("タイトル画面・一部.png")},
      {"warning", view_of("警告画面・一部.png")},
      {"play_ball", view_of("プレイボール画面・一部.png")},
      {"versus", view_of("低め.png")},
      {"versus_two_strikes", view_of("２ストライク.png")},
      {"versus_other_count", other_count},
      {"take_back_right", view_of("投球テイクバックポーズ（右投手）・一部.png")},
      {"finish_right", view_of("投球フィニッシュポーズ（右投手）・一部.png")},
      {"take_back_left", left_hander("投球テイクバックポーズ（左投手）・一部.png")},
      {"finish_left", left_hander("投球フィニッシュポーズ（左投手）・一部.png")},
      {"field", view_of("グラウンド（フィールド）画面・一部.png")},
      {"time_out", view_of("タイム画面・一部.png")},
      {"scoreboard", view_of("スコアボード画面・一部.png")},
      {"opponent_time_out_wait", view_of("相手のタイム待ち画面・一部.png")},
      {"game_set", view_of("ゲームセット画面・一部.png")},
      {"inning_top", view_of("オモテ.png")},
      {"inning_bottom", view_of("ウラ.png")},
      {"hand_right", view_of("右投手.png")},
      {"hand_left", left_hander("左投手.png")},
  };
}

std::optional<game_view> shot_view(std::string_view label) {
  for (const labelled_view& v : shot_views()) {
    if (v.label == label) return v.view;
  }
  return std::nullopt;
}

cv::Mat desktop_picture(const desktop_layout& layout, const std::optional<game_view>& view) {
  const int stride = pitchlog::bmp_stride(layout.width);
  std::vector<uint8_t> rows;
  paint_background(layout, stride, rows);
  const cv::Mat bottom_up(layout.height, layout.width, CV_8UC3, rows.data(),
                          static_cast<size_t>(stride));
  cv::Mat desktop;
  cv::flip(bottom_up, desktop, 0);
  if (view) {
    cv::Mat picture;
    render_game(*view, picture);
    const cv::Rect area = cv::Rect(layout.game_x, layout.game_y, game_width, game_height) &
                          cv::Rect(0, 0, layout.width, layout.height);
    picture(area - cv::Point(layout.game_x, layout.game_y)).copyTo(desktop(area));
  }
  return desktop;
}

desktop_layout shot_layout() {
  desktop_layout layout;
  layout.width = 1280;
  layout.height = 800;
  layout.game_x = 417;
  layout.game_y = 233;
  layout.pattern = background_pattern::checker;
  return layout;
}

std::string practice_cuts_json(const desktop_layout& layout) {
  char line[256];
  std::snprintf(line, sizeof line, "{\n  \"game\": [%d, %d, %d, %d],\n  \"cuts\": [\n",
                layout.game_x, layout.game_y, game_width, game_height);
  std::string json = line;
  bool first = true;
  for (const data_picture& p : data_picture_table) {
    // The whole game picture and its half-size copy have no cut of their own.
    if (p.cut == cv::Rect(0, 0, game_width, game_height)) continue;
    std::snprintf(line, sizeof line, "%s    {\"picture\": \"%s\", \"cut\": [%d, %d, %d, %d]}",
                  first ? "" : ",\n", std::string(p.file_name).c_str(), p.cut.x, p.cut.y,
                  p.cut.width, p.cut.height);
    json += line;
    first = false;
  }
  return json + "\n  ]\n}\n";
}

bool write_shots(const fs::path& dir, const desktop_layout& layout, std::string& error) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  for (const labelled_view& v : shot_views()) {
    const fs::path path = dir / (std::string(v.label) + ".png");
    bool written = false;
    try {
      written = cv::imwrite(path.string(), desktop_picture(layout, v.view));
    } catch (const cv::Exception&) {
      written = false;
    }
    if (!written) {
      error = "cannot write " + path.string();
      return false;
    }
  }
  std::ofstream cuts(dir / "cuts.json", std::ios::binary | std::ios::trunc);
  cuts << practice_cuts_json(layout);
  if (!cuts) {
    error = "cannot write " + (dir / "cuts.json").string();
    return false;
  }
  return true;
}

}  // namespace practice
