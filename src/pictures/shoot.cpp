#include "pictures/shoot.h"

#include <chrono>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"
#include "pictures/shot_folder.h"

namespace pitchlog {

namespace fs = std::filesystem;

namespace {

constexpr const char* prefix = "pitchlog-pictures: ";

// The grabber's own line without its program name.
std::string grab_reason(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (const size_t last = text.rfind('\n'); last != std::string::npos) text = text.substr(last + 1);
  if (text.rfind("pitchlog: ", 0) == 0) text = text.substr(10);
  return text.empty() ? "the desktop cannot be grabbed" : text;
}

std::string names(const std::vector<int>& labels) {
  std::string list;
  for (int label : labels)
    list += (list.empty() ? "" : ", ") + std::string(shot_labels[label].name);
  return list;
}

}  // namespace

cv::Mat grab_picture(const screen_grab& grab) {
  if (grab.width <= 0 || grab.height <= 0 || grab.pixels == nullptr) return {};
  const cv::Mat rows(grab.height, grab.width, CV_8UC3, const_cast<uint8_t*>(grab.pixels),
                     static_cast<size_t>(bmp_stride(grab.width)));
  cv::Mat picture;
  if (grab.top_down) {
    rows.copyTo(picture);
  } else {
    cv::flip(rows, picture, 0);
  }
  return picture;
}

desktop_shot platform_shot(const platform& p, std::ostringstream& grab_errors) {
  return [&p, &grab_errors](std::string& why) {
    screen_grab grab;
    grab_errors.str("");
    if (!p.source.grab(grab)) {
      why = grab_reason(grab_errors.str());
      return cv::Mat();
    }
    cv::Mat picture = grab_picture(grab);
    if (picture.empty()) why = "the grab holds no picture";
    return picture;
  };
}

int run_shoot(const shoot_options& options, const desktop_shot& shoot, std::istream& in,
              std::ostream& out, std::ostream& err) {
  std::error_code ec;
  std::vector<int> labels = options.labels;
  if (labels.empty()) {
    for (int label = 0; label < label_count; ++label) {
      const fs::path file = options.dir / (std::string(shot_labels[label].name) + ".png");
      if (!fs::exists(file, ec)) labels.push_back(label);
    }
  }
  if (labels.empty()) {
    out << "every screen is shot in " << options.dir.string() << "; name labels to shoot them again"
        << std::endl;
    return 0;
  }
  // A desktop that cannot be grabbed is found before the first question, and
  // before the folder is made.
  std::string why;
  if (shoot(why).empty()) {
    err << prefix << "shoot: " << why << std::endl;
    return 2;
  }
  fs::create_directories(options.dir, ec);
  if (ec || !fs::is_directory(options.dir, ec)) {
    err << prefix << "shoot: cannot make the shot folder " << options.dir.string() << std::endl;
    return 2;
  }

  std::vector<int> skipped;
  const int n = static_cast<int>(labels.size());
  for (int i = 0; i < n; ++i) {
    const shot_label& l = shot_labels[labels[i]];
    out << "[" << i + 1 << "/" << n << "] " << l.name << ": bring the game to " << l.prompt
        << "; Enter shoots it, a word and Enter skips it" << std::endl;
    std::string answer;
    if (!std::getline(in, answer)) {
      std::vector<int> left(labels.begin() + i, labels.end());
      left.insert(left.begin(), skipped.begin(), skipped.end());
      out << "input ended; not shot: " << names(left) << std::endl;
      return 1;
    }
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    if (!answer.empty()) {
      skipped.push_back(labels[i]);
      out << "  skipped " << l.name << std::endl;
      continue;
    }
    if (options.delay_ms > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(options.delay_ms));
    const cv::Mat picture = shoot(why);
    if (picture.empty()) {
      err << prefix << "shoot: " << why << std::endl;
      return 2;
    }
    const fs::path file = options.dir / (std::string(l.name) + ".png");
    if (!write_png(file, picture, why)) {
      err << prefix << "shoot: " << why << std::endl;
      return 2;
    }
    out << "  saved " << file.string() << " (" << picture.cols << " x " << picture.rows << ")"
        << std::endl;
  }
  out << "shot " << n - static_cast<int>(skipped.size()) << " of " << n << " screens into "
      << options.dir.string();
  if (!skipped.empty())
    out << "; not shot: " << names(skipped) << " (run shoot again to shoot them)";
  out << std::endl;
  return 0;
}

int run_import(const fs::path& dir, int label, const fs::path& file, std::ostream& out,
               std::ostream& err) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    err << prefix << "shoot: " << file.string() << " is missing" << std::endl;
    return 2;
  }
  cv::Mat picture;
  try {
    picture = colour_load(file.string());
  } catch (const cv::Exception&) {
    picture.release();
  }
  if (picture.empty()) {
    err << prefix << "shoot: cannot read " << file.string() << " as a picture" << std::endl;
    return 2;
  }
  fs::create_directories(dir, ec);
  const fs::path target = dir / (std::string(shot_labels[label].name) + ".png");
  std::string why;
  if (!write_png(target, picture, why)) {
    err << prefix << "shoot: " << why << std::endl;
    return 2;
  }
  out << "saved " << target.string() << " (" << picture.cols << " x " << picture.rows << ")"
      << std::endl;
  return 0;
}

}  // namespace pitchlog
