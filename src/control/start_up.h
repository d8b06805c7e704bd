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
// may go on, else its exit code: -1 for a missing picture, or for one larger
// than every region it is matched in (after the message, for the latter a line
// naming it on the error stream, and one character read; text.txt untouched),
// 1 when text.txt cannot be opened.
int start_up(template_set& templates, report_state& report, const platform& p);

}  // namespace pitchlog
