#include "control/start_up.h"

#include <ostream>
#include <string_view>

#include "record/console_text.h"

namespace pitchlog {
namespace {

constexpr std::string_view missing_picture_message = "ファイルが読み込めません。";

}  // namespace

int start_up(template_set& templates, report_state& report, const platform& p) {
  if (!load_template_set(templates)) {
    if (p.console) *p.console << console_text(missing_picture_message) << std::endl;
    if (p.read_char) p.read_char();
    return missing_picture_exit;
  }
  if (!open_report_file(report)) return report_file_exit;
  return 0;
}

}  // namespace pitchlog
