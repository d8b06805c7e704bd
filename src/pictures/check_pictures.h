#pragma once
// Scoring a data/ folder against a folder of labelled shots, check by check,
// as pitchlog's own checks score its captures: the same table of checks, the
// same regions, thresholds and matcher, the same coarse and fine search for
// the game picture.
#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "control/templates/checks.h"
#include "pictures/cut_clearance.h"
#include "pictures/shot_folder.h"

namespace pitchlog {

// The pictures of a data/ folder by template_id; where one cannot be read,
// the reason.
struct picture_set {
  std::array<cv::Mat, data_picture_count> pictures;
  std::array<std::string, data_picture_count> unreadable;
};

// Loads every picture of `dir`; unreadable ones stay empty with their reason.
picture_set read_picture_folder(const std::filesystem::path& dir);

// Whether a check must hit a shot, must miss it, or does not matter there
// (pitchlog does not run it on that screen, or what the shot shows does not
// decide it).
enum class expectation { hit, miss, not_judged };

enum class verdict {
  hit,              // a hit where one is intended
  missed,           // no hit where one is intended
  unintended_hit,   // a hit where the check must miss
  miss,             // a miss where the check must miss
  cannot_match,     // no score: picture unreadable, flat or larger than the region
  locks_elsewhere,  // the locator locks onto another place than the game
  not_judged,
};

inline bool is_failure(verdict v) {
  return v == verdict::missed || v == verdict::unintended_hit || v == verdict::cannot_match ||
         v == verdict::locks_elsewhere;
}

// A margin below this, either side of the threshold, is worth a warning: a
// little noise or a slightly different frame could turn the check over.
inline constexpr double close_margin = 0.05;

// One check on one shot.
struct scored_check {
  int check = 0;  // index into `checks`
  int label = 0;  // index into `shot_labels`
  expectation want = expectation::not_judged;
  double score = 0.0;  // NaN when there is none
  cv::Rect region;     // shot pixels: where the picture was searched
  cv::Rect best;       // shot pixels: where it matched best (empty when no score)
  verdict result = verdict::not_judged;
  std::string note;  // why there is no score, or where the locator locks
};

struct check_report {
  cv::Size game;                    // the size of 低め.png
  std::optional<cv::Point> origin;  // the game picture on the versus shot, as pitchlog locks it
  std::vector<scored_check> rows;   // every check on every shot, in table order
  // What changes on the versus view, and how each versus-view picture's cut
  // (where it lies on the shot it is cut from) stays clear of it.
  changing_parts changes;
  std::vector<cut_clearance> clearances;
  // Why a picture cannot be read, by template_id (empty when it can): pitchlog
  // refuses to start without any of its start-up pictures, matched or not.
  std::array<std::string, data_picture_count> unreadable;
};

// What a check must do on a shot (check: an index into `checks`).
expectation expected(int check, const shot_label& label);

// Locates the game on the versus shot, scores every check on every shot and
// finds what changes under the cuts of the versus-view pictures.
check_report check_pictures(const picture_set& pictures, const shot_set& shots);

// Check `check` (an index into `checks`) of `picture` on the shot of `label`
// for the game picture W x H (`game`) at `origin`, judged as the label wants.
scored_check score_check(int check, int label, const cv::Mat& picture, const cv::Mat& shot,
                         cv::Point origin, cv::Size game);

// A short ASCII name of a check, for tables and the contact sheet.
const char* check_name(int check);

// Prints the table of intended hits with their margins, unintended hits,
// close margins and pictures that cannot be matched or read, a line for each
// cut over a changing part, then one summary line.
// True when every intended check hits, no other does and no cut covers what
// changes.
bool print_check_table(const check_report& report, std::ostream& out);

}  // namespace pitchlog
