#pragma once
// The start of a run: the reference pictures, then the report file.
#include "control/platform.h"
#include "control/template_store.h"
#include "record/record_report.h"

namespace pitchlog {

// Start-up exit codes.
inline constexpr int missing_picture_exit = -1;
inline constexpr int report_file_exit = 1;

// Loads the reference pictures and opens "text.txt". Returns 0 when the run
// may go on, else its exit code: -1 for a missing picture (after the message
// and one character read; text.txt untouched), 1 when text.txt cannot be opened.
int start_up(template_set& templates, report_state& report, const platform& p);

}  // namespace pitchlog
