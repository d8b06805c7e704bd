#pragma once
// pitchlog-report's work: the command line, one page written from the log,
// and the watch that writes it again whenever the log grows.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "report_page/report_html.h"

namespace pitchlog {

struct report_options {
  std::string log;  // default: pitches.csv
  std::string out;  // default: report.html
  int game = 0;     // 0: the log's last game
  bool watch = false;
  std::optional<picture_size> picture;  // nothing: the size of data/低め.png, when readable
  bool help = false;
};

enum class report_outcome {
  written,      // the page is whole in its place
  help,         // the usage was printed
  bad_input,    // a bad command line, a missing, empty or foreign log, no such game
  not_written,  // the page could not be written; an earlier page is untouched
};

// 0 for written and help, 2 for bad input, 3 when the page cannot be written.
int report_exit_code(report_outcome outcome);

extern const char* const report_usage;

// Reads the command line (argv[0] is the program); false, and why, on a bad one.
bool parse_report_arguments(int argc, const char* const* argv, report_options& options,
                            std::string& error);

// Reads the log and writes the page once, whole, through a temporary file and
// a rename. `out` gets a line saying what was written; `err` one line saying
// why nothing was, or a line per row left out.
report_outcome write_report(const report_options& options, std::ostream& out, std::ostream& err);

struct watch_hooks {
  std::function<void()> pause;       // between two looks at the log
  std::function<bool()> keep_going;  // false ends the watch
};

// Writes the page, then again each time the log changes, until keep_going
// says no (written), or the first page cannot be made (its outcome). A log
// that turns bad while watched is said once, and the page it last gave stays.
report_outcome watch_report(const report_options& options, const watch_hooks& hooks,
                            std::ostream& out, std::ostream& err);

}  // namespace pitchlog
