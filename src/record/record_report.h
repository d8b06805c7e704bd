#pragma once
// The report of both teams' current pitchers, to the console and "text.txt".
#include <fstream>
#include <iosfwd>

#include "record/pitch_record.h"

namespace pitchlog {

inline constexpr const char* report_file_name = "text.txt";

struct report_state {
  std::ofstream file;  // text.txt, opened once per run, truncating
};

// Opens "text.txt" in the working folder for writing, emptying it; true when open.
bool open_report_file(report_state& report);
void close_report_file(report_state& report);

// Writes the report line by line, each line to the console (UTF-8 on Linux,
// code page 932 on Windows) and then to text.txt (code page 932), flushing at
// every line end.
void print_record_report(const pitch_record& record, std::ostream& console, report_state& report);

}  // namespace pitchlog
