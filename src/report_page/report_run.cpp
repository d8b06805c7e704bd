#include "report_page/report_run.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string_view>
#include <system_error>

#include "control/capture/data_path.h"
#include "record/pitch_log.h"

namespace pitchlog {
namespace {

namespace fs = std::filesystem;

constexpr const char* prefix = "pitchlog-report: ";
constexpr const char* default_page = "report.html";
constexpr int refresh_seconds = 3;
constexpr std::size_t left_out_named = 5;  // per look at the log; the rest are counted

// The whole game picture among the reference pictures, as pitchlog loads it.
constexpr std::string_view game_picture = "低め.png";

// Width and height from a PNG's header; nothing when the file is not a PNG.
std::optional<picture_size> png_size(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[24] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
  constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (std::memcmp(head, signature, sizeof signature) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0)
    return std::nullopt;
  const auto big_endian = [&](int at) {
    return (static_cast<uint32_t>(head[at]) << 24) | (static_cast<uint32_t>(head[at + 1]) << 16) |
           (static_cast<uint32_t>(head[at + 2]) << 8) | head[at + 3];
  };
  const uint32_t w = big_endian(16), h = big_endian(20);
  if (w == 0 || h == 0 || w > 100000 || h > 100000) return std::nullopt;
  return picture_size{static_cast<int>(w), static_cast<int>(h)};
}

bool parse_int(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// "720x480"
bool parse_picture(std::string_view text, picture_size& size) {
  const std::size_t x = text.find('x');
  return x != std::string_view::npos && parse_int(text.substr(0, x), size.width) &&
         parse_int(text.substr(x + 1), size.height) && size.width > 0 && size.height > 0;
}

// What a look at the log gave: the page's text, or why there is none.
struct page_made {
  report_outcome outcome = report_outcome::written;
  std::string why;  // the line for a bad log
  std::string page;
  int game = 0, games = 0;
  std::size_t pitches = 0;
  std::vector<left_out_line> left_out;
};

page_made make_page(const report_options& o, bool watching) {
  page_made made;
  made.outcome = report_outcome::bad_input;
  std::error_code error;
  if (!fs::exists(o.log, error)) {
    made.why = "no such file: " + o.log;
    return made;
  }
  if (fs::is_directory(o.log, error)) {
    made.why = o.log + " is a folder, not a pitch log";
    return made;
  }
  std::ifstream in(o.log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    made.why = "cannot read " + o.log + ": " + std::strerror(errno);
    return made;
  }
  const pitch_log_contents log = read_pitch_log(text, watching);
  if (log.verdict == log_verdict::empty) {
    made.why = o.log + " holds no pitches";
    return made;
  }
  if (log.verdict == log_verdict::foreign_header) {
    std::string first = log.first_line.substr(0, 60);
    if (log.first_line.size() > first.size()) first += "...";
    made.why = o.log + " is not a pitch log: its first line is \"" + first + "\"";
    return made;
  }
  made.left_out = log.left_out;
  if (log.pitches.empty()) {
    made.why = o.log + ": no row can be read (line " + std::to_string(log.left_out[0].line) + ": " +
               log.left_out[0].why + ")";
    return made;
  }
  made.games = log.games;
  made.game = o.game == 0 ? log.games : o.game;
  const std::optional<game_view> game = replay_game(log, made.game);
  if (!game) {
    made.why = o.log + " has no game " + std::to_string(o.game) + ": it holds game" +
               (log.games == 1 ? " 1" : "s 1 to " + std::to_string(log.games));
    return made;
  }
  page_options options;
  options.source = o.log;
  options.refresh_seconds = watching ? refresh_seconds : 0;
  options.picture = o.picture ? o.picture : png_size(data_path(game_picture));
  for (const left_out_line& l : log.left_out) options.left_out_lines.push_back(l.line);
  made.page = report_page(*game, options);
  made.pitches = game->pitches.size();
  made.outcome = report_outcome::written;
  return made;
}

// The page put in place whole: written beside it under a temporary name and
// renamed over it, so a reader sees the old page or the new one, never part.
bool put_page(const std::string& out, const std::string& page, std::string& why) {
  const std::string temporary = out + ".tmp";
  errno = 0;
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (file) file.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (file) file.close();
    if (!file) {
      why = "cannot write " + temporary +
            (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  fs::rename(temporary, out, error);
  if (error) {
    why = "cannot put the page in place as " + out + ": " + error.message();
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

// Names the rows left out that were not named before: a few, then a count.
void name_left_out(const std::string& log, const std::vector<left_out_line>& left_out,
                   std::set<int>& named, std::ostream& err) {
  std::size_t said = 0, unsaid = 0;
  for (const left_out_line& l : left_out) {
    if (!named.insert(l.line).second) continue;
    if (said++ < left_out_named)
      err << prefix << log << " line " << l.line << " left out: " << l.why << '\n';
    else
      ++unsaid;
  }
  if (unsaid > 0) err << prefix << log << ": " << unsaid << " more lines left out\n";
  err.flush();
}

// One look at the log and, when it gives a page, the page written.
report_outcome look_and_write(const report_options& o, bool watching, std::set<int>& named,
                              std::string& why, std::ostream& out, std::ostream& err) {
  page_made made = make_page(o, watching);
  if (made.outcome != report_outcome::written) {
    why = made.why;
    return made.outcome;
  }
  if (!put_page(o.out, made.page, why)) return report_outcome::not_written;
  name_left_out(o.log, made.left_out, named, err);
  out << prefix << "wrote " << o.out << ": game " << made.game << " of " << made.games << ", "
      << made.pitches << (made.pitches == 1 ? " pitch" : " pitches") << std::endl;
  return report_outcome::written;
}

struct log_stamp {
  bool exists = false;
  std::uintmax_t size = 0;
  fs::file_time_type modified{};
  bool operator==(const log_stamp&) const = default;
};

log_stamp stamp_of(const std::string& path) {
  std::error_code error;
  log_stamp s;
  s.size = fs::file_size(path, error);
  if (error) return {};
  s.modified = fs::last_write_time(path, error);
  s.exists = !error;
  return s;
}

}  // namespace

const char* const report_usage =
    "usage: pitchlog-report [LOG] [--out FILE] [--game N] [--watch] [--picture WxH]\n"
    "Draws the pitchers' habits in one game of the per-pitch log LOG (default pitches.csv)\n"
    "as one HTML page, FILE (default report.html), written whole through a temporary file.\n"
    "  --game N       the log's game N (default: the last). Games are numbered in the order\n"
    "                 they appear in the log, across all the runs it holds: a new game starts\n"
    "                 wherever the run (its `run` column) or the game number changes.\n"
    "  --watch        write the page again each time the log changes; the page reloads itself\n"
    "                 every 3 s. Ctrl+C ends it.\n"
    "  --picture WxH  the game picture's size, to draw the paths in its pixels (default: the\n"
    "                 size of data/低め.png; without either, in the ball search region's)\n"
    "Exit status: 0 written, 2 a bad command line or log (one line says why), 3 the page\n"
    "cannot be written.\n";

int report_exit_code(report_outcome outcome) {
  switch (outcome) {
    case report_outcome::written:
    case report_outcome::help:
      return 0;
    case report_outcome::bad_input:
      return 2;
    case report_outcome::not_written:
      return 3;
  }
  return 2;
}

bool parse_report_arguments(int argc, const char* const* argv, report_options& options,
                            std::string& error) {
  options = report_options{};
  bool log_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--out" || arg == "--game" || arg == "--picture") {
      if (!has_value) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      const std::string_view value = argv[++i];
      if (arg == "--out") {
        options.out = value;
      } else if (arg == "--game") {
        if (!parse_int(value, options.game) || options.game < 1) {
          error = "--game takes a game number from 1, not '" + std::string(value) + "'";
          return false;
        }
      } else {
        picture_size size;
        if (!parse_picture(value, size)) {
          error = "--picture takes WIDTHxHEIGHT, such as 720x480, not '" + std::string(value) + "'";
          return false;
        }
        options.picture = size;
      }
    } else if (arg.starts_with("-") || log_given) {
      error = "unknown argument '" + std::string(arg) + "'";
      return false;
    } else {
      options.log = arg;
      log_given = true;
    }
  }
  if (options.log.empty()) options.log = pitch_log_file_name;
  if (options.out.empty()) options.out = default_page;
  return true;
}

report_outcome write_report(const report_options& options, std::ostream& out, std::ostream& err) {
  std::set<int> named;
  std::string why;
  const report_outcome outcome = look_and_write(options, false, named, why, out, err);
  if (outcome != report_outcome::written) err << prefix << why << std::endl;
  return outcome;
}

report_outcome watch_report(const report_options& options, const watch_hooks& hooks,
                            std::ostream& out, std::ostream& err) {
  std::set<int> named;
  std::string why;
  log_stamp last = stamp_of(options.log);
  report_outcome outcome = look_and_write(options, true, named, why, out, err);
  if (outcome != report_outcome::written) {
    err << prefix << why << std::endl;
    return outcome;
  }
  std::string last_why;
  while (hooks.keep_going()) {
    hooks.pause();
    const log_stamp now = stamp_of(options.log);
    if (now == last) continue;
    last = now;
    outcome = look_and_write(options, true, named, why, out, err);
    if (outcome == report_outcome::written) {
      last_why.clear();
    } else if (why != last_why) {
      err << prefix << why << "; the page stays as it was" << std::endl;
      last_why = why;
    }
  }
  return report_outcome::written;
}

}  // namespace pitchlog
