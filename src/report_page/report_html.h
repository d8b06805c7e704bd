#pragma once
// The page of one game: every pitcher's seven situations as bars split by
// pitch type, the pitches' paths, the pitch sequence by half inning, and a
// table of the same numbers. One self-contained HTML file: inline CSS and
// SVG, no script, nothing fetched.
#include <optional>
#include <string>
#include <vector>

#include "report_page/game_view.h"

namespace pitchlog {

struct picture_size {
  int width = 0;
  int height = 0;
};

struct page_options {
  std::string source;                   // the log, as named on the command line
  int refresh_seconds = 0;              // > 0: the page asks the browser to reload it
  std::optional<picture_size> picture;  // the game picture: the paths are drawn in its pixels
  std::vector<int> left_out_lines;      // lines of the log that could not be read
};

std::string report_page(const game_view& game, const page_options& options);

// The text between the brackets of a report header: "[初球]" gives "初球".
std::string_view header_words(std::string_view header);

}  // namespace pitchlog
