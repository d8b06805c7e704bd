#include "control/start_up.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "control/main_loop.h"
#include "record/console_text.h"
#include "screen/pitch_trigger.h"
#include "screen/scene_recognizer.h"

namespace pitchlog {
namespace {

constexpr std::string_view missing_picture_message = "ファイルが読み込めません。";

struct matched_region {
  template_id id;
  cv::Size size;
  const char* what = "";  // where the size comes from, when not from a fixed table
};

// Every fixed region a start-up picture is matched in, from the stages' own
// check tables; the play-ball picture is matched in the whole game picture.
std::vector<matched_region> matched_regions(cv::Size game) {
  std::vector<matched_region> regions;
  for (const scene_check& c : scene_checks) regions.push_back({c.id, {c.w, c.h}});
  for (const template_check& c : {no_ball_no_strike_check, two_strikes_check})
    regions.push_back({c.id, {c.w, c.h}});
  for (const template_check& c : finish_pose_checks) regions.push_back({c.id, {c.w, c.h}});
  for (const template_check& c : pitch_end_checks) regions.push_back({c.id, {c.w, c.h}});
  regions.push_back({template_id::play_ball, game, ", the size of data/低め.png"});
  return regions;
}

// One line naming the first picture too large for every region it is matched
// in; empty when every picture fits at least one of its regions.
std::string oversized_picture(const template_set& templates) {
  const std::vector<matched_region> regions =
      matched_regions(templates[template_id::game_area].size());
  for (int i = 0; i < template_count; ++i) {
    const cv::Size picture = templates.images[i].size();
    bool matched = false;
    bool fits = false;
    std::string sizes;
    for (const matched_region& r : regions) {
      if (static_cast<int>(r.id) != i) continue;
      matched = true;
      fits = fits || (picture.width <= r.size.width && picture.height <= r.size.height);
      sizes += (sizes.empty() ? "" : "; ") + std::to_string(r.size.width) + " x " +
               std::to_string(r.size.height) + r.what;
    }
    if (matched && !fits) {
      return "pitchlog: data/" + std::string(template_file_names[i]) + " is " +
             std::to_string(picture.width) + " x " + std::to_string(picture.height) +
             " pixels, larger than the region it is matched in (" + sizes + ")";
    }
  }
  return {};
}

int refuse_start(const platform& p, const std::string& why) {
  if (p.console) *p.console << console_text(missing_picture_message) << std::endl;
  if (!why.empty() && p.error) *p.error << console_text(why) << std::endl;
  if (p.read_char) p.read_char();
  return missing_picture_exit;
}

}  // namespace

int start_up(template_set& templates, report_state& report, const platform& p) {
  if (!load_template_set(templates)) return refuse_start(p, {});
  // A picture that fits none of its regions could never be matched: the run
  // would watch for ever without seeing that screen.
  if (const std::string why = oversized_picture(templates); !why.empty())
    return refuse_start(p, why);
  if (!open_report_file(report)) return report_file_exit;
  return 0;
}

}  // namespace pitchlog
