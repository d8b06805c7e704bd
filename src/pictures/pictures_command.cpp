#include "pictures/pictures_command.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "control/capture/desktop_platform.h"
#include "pictures/changing_parts.h"
#include "pictures/check_pictures.h"
#include "pictures/contact_sheet.h"
#include "pictures/cut_clearance.h"
#include "pictures/cut_pictures.h"
#include "pictures/cuts.h"
#include "pictures/pick_windows.h"
#include "pictures/shoot.h"

namespace pitchlog {

namespace fs = std::filesystem;

namespace {

constexpr const char* usage =
    "usage: pitchlog-pictures shoot DIR [LABEL...] [--delay SECONDS]\n"
    "       pitchlog-pictures shoot DIR --import LABEL FILE\n"
    "       pitchlog-pictures cut DIR --out DATA [--game X,Y,W,H] [--cuts FILE] [--pick]\n"
    "       pitchlog-pictures check DATA DIR [--sheet FILE.png]\n"
    "       pitchlog-pictures --help\n";

constexpr const char* help_commands = R"(
pitchlog finds a game by the pictures in data/. These three steps make them
from your own game; run them in order.

shoot DIR [LABEL...] [--delay SECONDS]
    Walks you through every screen below that DIR does not hold yet (or the
    LABELs named): bring the game to the screen asked for, then press Enter in
    this terminal; the desktop is grabbed as pitchlog grabs it and saved as
    DIR/LABEL.png. A word and Enter skips a screen; run shoot again later to
    shoot what is missing. --delay waits that long after Enter, to bring the
    game's window to the front. Keep the game at one place and size throughout.
shoot DIR --import LABEL FILE
    Uses a screenshot made elsewhere (PNG, BMP, JPEG...) as the shot LABEL.
    You may also copy whole-desktop screenshots into DIR as LABEL.png yourself.

cut DIR --out DATA [--game X,Y,W,H] [--cuts FILE] [--pick]
    Cuts the 22 pictures of data/ from the shots into the folder DATA
    (replaced whole, only once every picture is written). The game picture is
    the rectangle X,Y,W,H of the versus shot, in desktop pixels; without
    --game it is read from the cuts file, or dragged in a window on the versus
    shot. Every other picture is cut at its rectangle of the cuts file (FILE,
    by default DIR/cuts.json; written with the defaults, each search region
    less 3 pixels a side, when missing), or dragged one by one with --pick (c
    keeps the current one, or the clear cut check proposes where the current
    one covers what changes; the hatching shows what changes). A cut must lie
    inside the region pitchlog searches its picture in. The cuts file is
    JSON, in game-picture pixels:
      {"game": [X, Y, W, H],
       "cuts": [{"picture": "タイム画面・一部.png", "cut": [x, y, w, h]}, ...]}

check DATA DIR [--sheet FILE.png]
    Scores every picture of DATA on every shot of DIR as pitchlog's checks
    score its captures (the same regions, thresholds and matcher; the game is
    located on the versus shot as pitchlog locates it) and prints one table:
    each intended hit with its margin over the threshold, each unintended hit,
    each margin under 0.05 and each picture that cannot be matched. It then
    compares the versus shots and names each picture whose cut covers what
    changes while it must still match (the inning sign, the hand sign, the
    pitcher's name, the count lamps, the pose, the ball's flight area), with
    the largest cut clear of it that passes the picture's checks. --sheet
    draws every shot with the regions and scores on it, and each versus-view
    cut with what changes under it hatched.

Exit status: 0 done (check: every intended check hits, no other does and no
cut covers what changes), 1 check found a misfire or shoot's input ended,
2 bad input.

The labels of a shot folder (DIR/LABEL.png, each a whole desktop showing the
game at the same place):
)";

constexpr const char* prefix = "pitchlog-pictures: ";

int fail(std::ostream& err, const std::string& command, const std::string& why) {
  err << prefix << command << (command.empty() ? "" : ": ") << why << std::endl;
  return 2;
}

int print_help(std::ostream& out) {
  out << usage << help_commands;
  for (const shot_label& l : shot_labels) out << "  " << l.name << ": " << l.prompt << "\n";
  return 0;
}

struct cut_options {
  fs::path shots;
  fs::path out;
  fs::path cuts_file;
  std::optional<cv::Rect> game;
  bool pick = false;
};

// A small game picture is shown enlarged, so that a cut can be dragged to the pixel.
int zoom_of(cv::Size game) {
  return game.width <= 800 && game.height <= 600 ? 2 : 1;
}

// The game picture of a shot, enlarged, with what changes there hatched (an
// empty mask: nothing), the area and the cut drawn on it.
cv::Mat marked(const cv::Mat& game_picture, int zoom, const cv::Mat& changes, const cv::Rect& area,
               const cv::Rect& cut) {
  cv::Mat picture;
  cv::resize(game_picture, picture, cv::Size(), zoom, zoom, cv::INTER_NEAREST);
  if (!changes.empty()) {
    cv::Mat large;
    cv::resize(changes, large, picture.size(), 0, 0, cv::INTER_NEAREST);
    hatch(picture, large, change_hatch);
  }
  const auto enlarged = [zoom](const cv::Rect& r) {
    return cv::Rect(r.x * zoom, r.y * zoom, r.width * zoom, r.height * zoom);
  };
  cv::rectangle(picture, enlarged(area), cv::Scalar(0, 200, 255), 1);
  cv::rectangle(picture, enlarged(cut), cv::Scalar(80, 220, 80), 1);
  return picture;
}

// Drags every cut in turn; a cancelled drag keeps the cut it had, or, where
// that cut covers what changes on the versus view, the clear cut check
// would propose.
void pick_cuts(const shot_set& shots, const cv::Rect& game, const rectangle_drag& drag,
               std::array<cv::Rect, data_picture_count>& cuts, std::ostream& out) {
  const changing_parts changes = find_changing_parts(shots, game.tl(), game.size());
  const auto clearance = [&](template_id id, const cv::Rect& cut) {
    return clear_of_changes(id, cut, changes, shots, game.tl(), game.size());
  };
  int n = 0;
  for (int i = 0; i < data_picture_count; ++i) {
    const auto id = static_cast<template_id>(i);
    if (!has_cut(id) || shots[picture_shot[i]].empty()) continue;
    // The window's title is ASCII: not every window toolkit takes the
    // Japanese file names; the terminal line names the picture.
    const std::string title = "cut " + std::to_string(++n) + " of " +
                              std::to_string(data_picture_count - 2) + " (see the terminal)";
    const cv::Mat game_picture = shots[picture_shot[i]](game);
    const std::string name(template_file_names[i]);
    const cv::Rect area = cut_area(id, game.size());
    const bool versus_picture =
        std::find(versus_pictures.begin(), versus_pictures.end(), id) != versus_pictures.end();
    cv::Mat hatched;
    if (versus_picture) {
      const cut_clearance c = clearance(id, cuts[i]);
      hatched = c.avoid;
      if (!c.under.empty()) {
        out << name << ": " << clearance_text(c, changes) << std::endl;
        if (c.clear && c.passes) cuts[i] = *c.clear;
      }
    }
    out << name << ": drag its cut inside the orange region " << rectangle_text(area) << " of the "
        << shot_labels[picture_shot[i]].name << " shot"
        << (hatched.empty() ? "" : ", clear of the hatching") << " (c keeps "
        << rectangle_text(cuts[i]) << ")" << std::endl;
    for (;;) {
      const int zoom = zoom_of(game.size());
      std::optional<cv::Rect> r = drag(title, marked(game_picture, zoom, hatched, area, cuts[i]));
      if (!r) break;
      // Every game pixel the dragged rectangle touches.
      const cv::Point tl(r->x / zoom, r->y / zoom);
      const cv::Point br((r->br().x + zoom - 1) / zoom, (r->br().y + zoom - 1) / zoom);
      r = cv::Rect(tl, br);
      if (const std::string problem = cut_problem(id, *r, game.size()); !problem.empty()) {
        out << "  " << problem << "; drag again" << std::endl;
        continue;
      }
      cuts[i] = *r;
      out << "  " << rectangle_text(*r) << std::endl;
      if (versus_picture) {
        const cut_clearance c = clearance(id, *r);
        if (!c.under.empty()) out << "  " << clearance_text(c, changes) << std::endl;
      }
      break;
    }
  }
}

int run_cut(const cut_options& o, const rectangle_drag& drag, std::ostream& out,
            std::ostream& err) {
  shot_set shots;
  std::string error;
  if (!read_shot_folder(o.shots, shots, error)) return fail(err, "cut", error);
  const fs::path cuts_file = o.cuts_file.empty() ? o.shots / "cuts.json" : o.cuts_file;
  cut_plan plan;
  std::error_code ec;
  const bool had_file = fs::exists(cuts_file, ec);
  if (had_file && !read_cuts_file(cuts_file, plan, error)) return fail(err, "cut", error);

  const std::vector<int> needed(picture_shot.begin(), picture_shot.end());
  if (const std::string missing = missing_shots(o.shots, shots, needed); !missing.empty())
    return fail(err, "cut", missing);
  const int versus = *label_index("versus");
  std::optional<cv::Rect> game = o.game ? o.game : plan.game;
  if (!game) {
    if (!drag)
      return fail(err, "cut",
                  "give the game picture on the versus shot with --game X,Y,W,H (no display to "
                  "drag it on)");
    out << "drag the game picture on the versus shot, then Enter (c cancels)" << std::endl;
    game = drag("versus: the game picture", shots[versus]);
    if (!game) return fail(err, "cut", "no game picture dragged");
    out << "  game picture " << rectangle_text(*game) << std::endl;
  }
  const cv::Rect versus_area(0, 0, shots[versus].cols, shots[versus].rows);
  if ((*game & versus_area) != *game)
    return fail(err, "cut",
                "the game picture " + rectangle_text(*game) + " reaches past the versus shot (" +
                    std::to_string(versus_area.width) + " x " + std::to_string(versus_area.height) +
                    ")");

  std::array<cv::Rect, data_picture_count> cuts{};
  for (int i = 0; i < data_picture_count; ++i) {
    const auto id = static_cast<template_id>(i);
    if (has_cut(id)) cuts[i] = plan.cuts[i].value_or(default_cut(id, game->size()));
  }
  if (o.pick) {
    if (!drag) return fail(err, "cut", "--pick needs a display");
    pick_cuts(shots, *game, drag, cuts, out);
  }

  picture_array pictures;
  if (!cut_pictures(shots, *game, cuts, pictures, error)) return fail(err, "cut", error);
  if (!write_picture_folder(o.out, pictures, error)) return fail(err, "cut", error);

  if (!had_file || o.game || o.pick) {
    plan.game = game;
    for (int i = 0; i < data_picture_count; ++i) {
      if (has_cut(static_cast<template_id>(i))) plan.cuts[i] = cuts[i];
    }
    if (!write_text_file(cuts_file, cuts_json(plan), error)) return fail(err, "cut", error);
  }
  out << "cut " << data_picture_count << " pictures into " << o.out.string() << " (game picture "
      << rectangle_text(*game) << ", cuts in " << cuts_file.string() << ")" << std::endl;
  return 0;
}

int run_check(const fs::path& data, const fs::path& dir, const fs::path& sheet_file,
              std::ostream& out, std::ostream& err) {
  shot_set shots;
  std::string error;
  if (!read_shot_folder(dir, shots, error)) return fail(err, "check", error);
  std::vector<int> all(label_count);
  for (int i = 0; i < label_count; ++i) all[i] = i;
  if (const std::string missing = missing_shots(dir, shots, all); !missing.empty())
    return fail(err, "check", missing);
  std::error_code ec;
  if (!fs::is_directory(data, ec))
    return fail(err, "check", "the picture folder " + data.string() + " does not exist");

  out << "checking " << data_picture_count << " pictures of " << data.string() << " on "
      << label_count << " shots of " << dir.string() << std::endl;
  const check_report report = check_pictures(read_picture_folder(data), shots);
  const bool pass = print_check_table(report, out);
  if (!sheet_file.empty()) {
    // The sheet is meant to be kept and shown: the smallest file.
    if (!write_png(sheet_file, draw_contact_sheet(report, shots), error, 9))
      return fail(err, "check", error);
    out << "contact sheet: " << sheet_file.string() << std::endl;
  }
  return pass ? 0 : 1;
}

int shoot_command(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
  if (args.empty()) return fail(err, "shoot", "needs a folder\n" + std::string(usage));
  shoot_options o;
  o.dir = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--import") {
      if (args.size() != 4 || i != 1) return fail(err, "shoot", "--import needs LABEL FILE alone");
      const std::optional<int> label = label_index(args[2]);
      if (!label)
        return fail(err, "shoot", "\"" + args[2] + "\" is no label (labels: " + label_list() + ")");
      return run_import(o.dir, *label, args[3], out, err);
    }
    if (args[i] == "--delay") {
      char* end = nullptr;
      const double seconds = i + 1 < args.size() ? std::strtod(args[i + 1].c_str(), &end) : -1;
      if (end == nullptr || *end != '\0' || !(seconds >= 0 && seconds <= 60))
        return fail(err, "shoot", "--delay needs a number of seconds up to 60");
      o.delay_ms = static_cast<int>(seconds * 1000);
      ++i;
      continue;
    }
    const std::optional<int> label = label_index(args[i]);
    if (!label)
      return fail(err, "shoot", "\"" + args[i] + "\" is no label (labels: " + label_list() + ")");
    o.labels.push_back(*label);
  }
  std::ostringstream grab_errors;
  const platform p = desktop_platform(out, grab_errors);
  return run_shoot(o, platform_shot(p, grab_errors), in, out, err);
}

int cut_command(const std::vector<std::string>& args, const rectangle_drag& drag, std::ostream& out,
                std::ostream& err) {
  cut_options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--pick") {
      o.pick = true;
    } else if (a == "--out" && has_value) {
      o.out = args[++i];
    } else if (a == "--cuts" && has_value) {
      o.cuts_file = args[++i];
    } else if (a == "--game" && has_value) {
      o.game = parse_rectangle(args[++i]);
      if (!o.game) return fail(err, "cut", "--game needs X,Y,W,H with a positive W and H");
    } else if (a.rfind("--", 0) != 0 && o.shots.empty()) {
      o.shots = a;
    } else {
      return fail(err, "cut", "unexpected " + a + "\n" + usage);
    }
  }
  if (o.shots.empty() || o.out.empty()) return fail(err, "cut", "needs DIR and --out DATA");
  return run_cut(o, drag, out, err);
}

int check_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<fs::path> folders;
  fs::path sheet;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sheet" && i + 1 < args.size()) {
      sheet = args[++i];
    } else if (args[i].rfind("--", 0) != 0) {
      folders.push_back(args[i]);
    } else {
      return fail(err, "check", "unexpected " + args[i] + "\n" + usage);
    }
  }
  if (folders.size() != 2) return fail(err, "check", "needs DATA and DIR");
  return run_check(folders[0], folders[1], sheet, out, err);
}

}  // namespace

int run_pictures(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                 std::ostream& err, const rectangle_drag& drag) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
  try {
    if (command == "shoot") return shoot_command(args, in, out, err);
    if (command == "cut") return cut_command(args, drag, out, err);
    if (command == "check") return check_command(args, out, err);
    if (command == "--help" || command == "-h" || command == "help") return print_help(out);
  } catch (const std::exception& e) {
    // A library failure no check above foresaw still ends in one line.
    return fail(err, std::string(command), e.what());
  }
  err << usage;
  return 2;
}

}  // namespace pitchlog
