#include "control/start_up.h"

#include <ostream>
#include <string>
#include <string_view>

#include "control/capture/console_text.h"
#include "control/templates/checks.h"

namespace pitchlog {
namespace {

constexpr std::string_view missing_picture_message = "ファイルが読み込めません。";

// One line naming the first start-up picture larger than a region it is
// matched in; empty when every picture fits every region it is matched in. A
// picture that fits only some of its regions scores nothing in the others:
// a finish pose that cannot be matched where the end of a pitch is watched
// would end that wait at once, and the pose still on screen would start a
// second burst for the same pitch.
std::string oversized_picture(const template_set& templates) {
  const cv::Size game = templates[template_id::game_area].size();
  for (int i = 0; i < template_count; ++i) {
    const cv::Size picture = templates.images[i].size();
    bool matched = false;
    bool fits = true;
    std::string sizes;
    for (const template_check& c : checks) {
      const cv::Size region = check_region(c, {0, 0}, game).size();
      if (static_cast<int>(c.id) != i || region.empty()) continue;
      matched = true;
      fits = fits && picture.width <= region.width && picture.height <= region.height;
      sizes += (sizes.empty() ? "" : "; ") + std::to_string(region.width) + " x " +
               std::to_string(region.height) +
               (c.w == whole_game ? ", the size of data/低め.png" : "");
    }
    if (matched && !fits) {
      return "pitchlog: data/" + std::string(template_file_names[i]) + " is " +
             std::to_string(picture.width) + " x " + std::to_string(picture.height) +
             " pixels, larger than a region it is matched in (" + sizes + ")";
    }
  }
  return {};
}

run_outcome refuse_start(const platform& p, const std::string& why) {
  *p.console << console_text(missing_picture_message) << std::endl;
  if (!why.empty()) *p.error << console_text(why) << std::endl;
  p.read_char();
  return run_outcome::picture_refused;
}

}  // namespace

std::optional<run_outcome> start_up(template_set& templates, report_state& report,
                                    const platform& p) {
  if (!load_template_set(templates)) return refuse_start(p, {});
  // A picture larger than a region it is matched in could never be matched
  // there: the run would watch for ever without seeing that screen, or stop
  // waiting for one that still shows.
  if (const std::string why = oversized_picture(templates); !why.empty())
    return refuse_start(p, why);
  if (!open_report_file(report)) return run_outcome::report_file;
  return std::nullopt;
}

}  // namespace pitchlog
