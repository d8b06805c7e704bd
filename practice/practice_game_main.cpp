// practice-game: the synthetic baseball game that pitchlog is tested and demonstrated on.
//   practice-game data DIR                  writes pitchlog's reference pictures into DIR
//   practice-game render --screen NAME ...  writes one game picture
//   practice-game shots DIR                 writes the labelled shots of pitchlog-pictures
//   practice-game sheet --out FILE          writes a labelled contact sheet of every screen
//   practice-game play ...                  plays a game in an X11 window
//   practice-game show [--x X --y Y]        shows the views named on standard input
//   practice-game expect --truth FILE ...   the reports a correct watcher prints for a truth log
//   practice-game record --seed N ...       writes a game as a video file, with its truth log
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "practice/data_pictures.h"
#include "practice/expected_report.h"
#include "practice/flight.h"
#include "practice/options.h"
#include "practice/player.h"
#include "practice/recorder.h"
#include "practice/renderer.h"
#include "practice/shots.h"

namespace {

using practice::game_screen;

constexpr std::array<std::pair<std::string_view, game_screen>, practice::screen_count>
    screen_names = {{
        {"title", game_screen::title},
        {"warning", game_screen::warning},
        {"play_ball", game_screen::play_ball},
        {"versus", game_screen::versus},
        {"field", game_screen::field},
        {"time_out", game_screen::time_out},
        {"scoreboard", game_screen::scoreboard},
        {"opponent_time_out_wait", game_screen::opponent_time_out_wait},
        {"game_set", game_screen::game_set},
        {"cut_in", game_screen::cut_in},
    }};

const char* const usage =
    "usage: practice-game data DIR\n"
    "       practice-game shots DIR   (the labelled shots and cuts.json of pitchlog-pictures)\n"
    "       practice-game render [--shot LABEL] [--screen NAME --balls B --strikes S\n"
    "                            --outs O --inning N --half top|bottom --hand right|left\n"
    "                            --pose set|take_back|finish --name TEXT --ball X,Y,R[,BX,BY]\n"
    "                            --markers --noise A --seed N --difficulty normal|hard]\n"
    "                            --out FILE.png\n"
    "       practice-game sheet --out FILE.png [--difficulty hard]\n"
    "       practice-game play [--seed N | --scenario FILE] [--x X --y Y] [--truth FILE]\n"
    "                          [--slow F]\n"
    "       practice-game show [--x X --y Y]   (a line of render options per view, or hide)\n"
    "       practice-game expect --truth FILE [--out FILE] [--report FILE]\n"
    "       practice-game record --seed N [--innings K] [--pitches P] --out FILE --truth FILE\n"
    "                            [--codec ffv1|h264|mjpg] [--crf N] [--size WxH] [--scale S]\n"
    "                            [--x X --y Y]\n"
    "screens: title warning play_ball versus field time_out scoreboard\n"
    "         opponent_time_out_wait game_set cut_in\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "practice-game: %s\n", message.c_str());
  return 2;
}

bool parse_int(std::string_view s, int lo, int hi, int& out) {
  char* end = nullptr;
  const std::string copy(s);
  const long v = std::strtol(copy.c_str(), &end, 10);
  if (copy.empty() || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

// X,Y,R, or X,Y,R,BX,BY for a ball smeared back by (BX, BY).
bool parse_ball(std::string_view s, practice::ball_view& ball) {
  float x = 0, y = 0, r = 0, bx = 0, by = 0;
  char extra = 0;
  const int n =
      std::sscanf(std::string(s).c_str(), "%f,%f,%f,%f,%f%c", &x, &y, &r, &bx, &by, &extra);
  if (n != 3 && n != 5) return false;
  if (!(r > 0.0f && r < 100.0f) || !(std::fabs(bx) < 100.0f && std::fabs(by) < 100.0f))
    return false;
  ball = {true, x, y, r, bx, by};
  return true;
}

bool parse_difficulty(std::string_view value, practice::difficulty& level) {
  if (value != "normal" && value != "hard") return false;
  level = value == "hard" ? practice::difficulty::hard : practice::difficulty::normal;
  return true;
}

// The pixel noise of the hard difficulty's pictures, unless asked otherwise.
constexpr int hard_noise = 4;

bool write_png(const std::string& path, const cv::Mat& picture) {
  try {
    return cv::imwrite(path, picture);
  } catch (const cv::Exception&) {
    return false;
  }
}

int run_data(int argc, char** argv) {
  if (argc != 3) return fail("data needs one folder");
  std::string error;
  if (!practice::write_data_pictures(argv[2], error)) return fail(error);
  std::printf("wrote %zu pictures to %s\n", practice::data_picture_table.size(), argv[2]);
  return 0;
}

// Reads the view options of `render` (and of each line of `show`) into
// `view`, and --out into `out`; false with the reason in `error`.
bool parse_view_options(const std::vector<std::string_view>& args, practice::game_view& view,
                        std::string& out, std::string& error) {
  bool noise_given = false;
  const auto read = [&](std::string_view flag, std::string_view value) {
    int n = 0;
    bool ok = true;
    if (flag == "--markers") {
      view.ignored_point_markers = true;
    } else if (flag == "--shot") {
      const std::optional<practice::game_view> shown = practice::shot_view(value);
      ok = shown.has_value();
      if (ok) view = *shown;
    } else if (flag == "--screen") {
      ok = false;
      for (const auto& [name, screen] : screen_names) {
        if (value == name) {
          view.screen = screen;
          ok = true;
        }
      }
    } else if (flag == "--balls") {
      ok = parse_int(value, 0, 3, view.balls);
    } else if (flag == "--strikes") {
      ok = parse_int(value, 0, 2, view.strikes);
    } else if (flag == "--outs") {
      ok = parse_int(value, 0, 2, view.outs);
    } else if (flag == "--inning") {
      ok = parse_int(value, 1, 99, view.inning);
    } else if (flag == "--half") {
      ok = value == "top" || value == "bottom";
      view.inning_half = value == "bottom" ? practice::half::bottom : practice::half::top;
    } else if (flag == "--hand") {
      ok = value == "right" || value == "left";
      view.pitcher_hand = value == "left" ? practice::hand::left : practice::hand::right;
    } else if (flag == "--pose") {
      ok = value == "set" || value == "take_back" || value == "finish";
      view.pitcher_pose = value == "finish"      ? practice::pose::finish
                          : value == "take_back" ? practice::pose::take_back
                                                 : practice::pose::set;
    } else if (flag == "--name") {
      view.pitcher_name = value;
    } else if (flag == "--ball") {
      ok = parse_ball(value, view.ball);
    } else if (flag == "--noise") {
      ok = parse_int(value, 0, 50, view.noise_amplitude);
      noise_given = true;
    } else if (flag == "--difficulty") {
      ok = parse_difficulty(value, view.level);
    } else if (flag == "--seed") {
      ok = parse_int(value, 0, 1 << 30, n);
      view.noise_seed = static_cast<uint32_t>(n);
    } else if (flag == "--out") {
      out = value;
    } else {
      return practice::option_read::unknown;
    }
    return ok ? practice::option_read::ok : practice::option_read::bad_value;
  };
  if (!practice::read_options(args, read, error, {"--markers"})) return false;
  // The hard view's own noise unless the options name one.
  if (view.level == practice::difficulty::hard && !noise_given) view.noise_amplitude = hard_noise;
  return true;
}

int run_shots(int argc, char** argv) {
  if (argc != 3) return fail("shots needs one folder");
  std::string error;
  if (!practice::write_shots(argv[2], practice::shot_layout(), error)) return fail(error);
  std::printf("wrote %zu shots and cuts.json to %s\n", practice::shot_views().size(), argv[2]);
  return 0;
}

int run_render(int argc, char** argv) {
  practice::game_view view;
  view.screen = game_screen::versus;
  std::string out, error;
  if (!parse_view_options({argv + 2, argv + argc}, view, out, error)) return fail(error);
  if (out.empty()) return fail("render needs --out FILE.png");
  cv::Mat picture;
  practice::render_game(view, picture);
  if (!write_png(out, picture)) return fail("cannot write " + out);
  return 0;
}

// Labelled pictures of one size, `columns` to a row.
cv::Mat tile_sheet(const std::vector<std::pair<std::string, cv::Mat>>& tiles, int columns) {
  constexpr int label_h = 24, gap = 8;
  const int tile_w = tiles.at(0).second.cols, tile_h = tiles.at(0).second.rows;
  const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
  cv::Mat sheet(rows * (tile_h + label_h + gap) + gap, columns * (tile_w + gap) + gap, CV_8UC3,
                cv::Scalar(48, 48, 48));
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const int x = gap + static_cast<int>(i % columns) * (tile_w + gap);
    const int y = gap + static_cast<int>(i / columns) * (tile_h + label_h + gap);
    tiles[i].second.copyTo(sheet(cv::Rect(x, y + label_h, tile_w, tile_h)));
    cv::putText(sheet, tiles[i].first, cv::Point(x + 2, y + 17), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(240, 240, 240), 1, cv::LINE_AA);
  }
  return sheet;
}

// The hard difficulty's pitch view at four moments of one pitch (a
// right-hander's fork), at full size: the searched rows only, since the rest
// is the normal view.
int run_hard_sheet(const char* out) {
  const practice::flight path = practice::make_flight(
      pitchlog::pitch_type::fork, practice::hand::right, 7, practice::difficulty::hard);
  practice::render_cache cache;
  std::vector<std::pair<std::string, cv::Mat>> tiles;
  for (const int ms : {150, 400, 800, 1200}) {
    practice::game_view view;
    view.screen = game_screen::versus;
    view.level = practice::difficulty::hard;
    view.pitcher_pose = practice::pose::finish;
    view.ball = practice::ball_at(path, ms);
    view.noise_amplitude = hard_noise;
    view.noise_seed = static_cast<uint32_t>(ms);
    cv::Mat picture;
    practice::render_game(view, cache, picture);
    char label[64];
    std::snprintf(label, sizeof label, "hard, %d ms after release, ball r %.1f", ms,
                  view.ball.radius);
    const cv::Rect searched(0, practice::ball_area_top, practice::game_width,
                            practice::ball_area_height);
    tiles.emplace_back(label, picture(searched).clone());
  }
  if (!write_png(out, tile_sheet(tiles, 2))) return fail(std::string("cannot write ") + out);
  return 0;
}

// One line of `show`: the options of `render` without --out, separated by spaces.
bool parse_view_line(const std::string& line, practice::game_view& view, std::string& error) {
  std::istringstream words(line);
  std::vector<std::string> kept;
  for (std::string word; words >> word;) kept.push_back(word);
  view = practice::game_view{};
  view.screen = game_screen::versus;
  std::string out;
  if (!parse_view_options({kept.begin(), kept.end()}, view, out, error)) return false;
  if (out.empty()) return true;
  error = "show takes no --out";
  return false;
}

// Every screen at half size in a labelled grid, several versus views among them.
int run_sheet(int argc, char** argv) {
  const char* out = nullptr;
  practice::difficulty level = practice::difficulty::normal;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    if (flag == "--out") {
      out = argv[i + 1];
    } else if (flag != "--difficulty") {
      return fail("unknown option " + std::string(flag));
    } else if (!parse_difficulty(argv[i + 1], level)) {
      return fail(std::string("bad value for --difficulty: ") + argv[i + 1]);
    }
  }
  if (out == nullptr || argc % 2 != 0) return fail("sheet needs --out FILE.png");
  if (level == practice::difficulty::hard) return run_hard_sheet(out);
  struct tile {
    const char* label;
    practice::game_view view;
  };
  std::array<tile, 12> tiles;
  for (std::size_t i = 0; i < screen_names.size(); ++i) {
    tiles[i].label = screen_names[i].first.data();
    tiles[i].view.screen = screen_names[i].second;
  }
  tiles[3].label = "versus 0-0, set";
  tiles[10].label = "versus 2-2 bottom, left take_back";
  tiles[10].view.screen = game_screen::versus;
  tiles[10].view.balls = 2;
  tiles[10].view.strikes = 2;
  tiles[10].view.outs = 1;
  tiles[10].view.inning = 7;
  tiles[10].view.inning_half = practice::half::bottom;
  tiles[10].view.pitcher_hand = practice::hand::left;
  tiles[10].view.pitcher_pose = practice::pose::take_back;
  tiles[10].view.pitcher_name = "SUZUKI";
  tiles[11].label = "versus 3-1, finish, ball, markers";
  tiles[11].view.screen = game_screen::versus;
  tiles[11].view.balls = 3;
  tiles[11].view.strikes = 1;
  tiles[11].view.outs = 2;
  tiles[11].view.pitcher_pose = practice::pose::finish;
  tiles[11].view.ball = {true, 352.5f, 262.5f, 10.0f};
  tiles[11].view.ignored_point_markers = true;
  tiles[11].view.pitcher_name = "TANAKA";

  constexpr int columns = 4, tile_w = 360, tile_h = 240, label_h = 24, gap = 8;
  const int rows = static_cast<int>(tiles.size() + columns - 1) / columns;
  cv::Mat sheet(rows * (tile_h + label_h + gap) + gap, columns * (tile_w + gap) + gap, CV_8UC3,
                cv::Scalar(48, 48, 48));
  practice::render_cache cache;
  cv::Mat picture, small;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const int x = gap + static_cast<int>(i % columns) * (tile_w + gap);
    const int y = gap + static_cast<int>(i / columns) * (tile_h + label_h + gap);
    practice::render_game(tiles[i].view, cache, picture);
    cv::resize(picture, small, cv::Size(tile_w, tile_h), 0, 0, cv::INTER_AREA);
    small.copyTo(sheet(cv::Rect(x, y + label_h, tile_w, tile_h)));
    cv::putText(sheet, tiles[i].label, cv::Point(x + 2, y + 17), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(240, 240, 240), 1, cv::LINE_AA);
  }
  if (!write_png(out, sheet)) return fail(std::string("cannot write ") + out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "data") return run_data(argc, argv);
  if (command == "render") return run_render(argc, argv);
  if (command == "shots") return run_shots(argc, argv);
  if (command == "sheet") return run_sheet(argc, argv);
  if (command == "play") return practice::run_play_command(argc - 1, argv + 1);
  if (command == "show") return practice::run_show_command(argc - 1, argv + 1, parse_view_line);
  if (command == "expect") return practice::run_expect_command(argc - 1, argv + 1);
  if (command == "record") return practice::run_record_command(argc - 1, argv + 1);
  std::fputs(usage, stderr);
  return 2;
}
