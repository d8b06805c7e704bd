#pragma once
// The start of a run: the reference pictures, then the report file.
#include <optional>

#include "control/capture/platform.h"
#include "control/exit_code.h"
#include "control/templates/template_store.h"
#include "record/record_report.h"

namespace pitchlog {

// Loads the reference pictures and opens "text.txt". Nothing when the run may
// go on; else how it ends: a missing picture, or one larger than a region it
// is matched in (after the message, for the latter a line naming it on the
// error stream, and one character read; text.txt untouched), or text.txt that
// cannot be opened.
std::optional<run_outcome> start_up(template_set& templates, report_state& report,
                                    const platform& p);

}  // namespace pitchlog
