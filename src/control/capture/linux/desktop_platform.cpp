// The Linux desktop: the X11 grab, sleeps, standard input, and the inspection
// windows from the module beside the program, loaded only when a burst is shown.
#include "control/capture/desktop_platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include <opencv2/core/mat.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/linux/inspection_windows.h"
#include "control/capture/linux/x11_grab.h"

namespace pitchlog {
namespace {

// Where the inspection exit puts the burst: windows, or image files named
// after the windows and a read from standard input in place of the key wait,
// so the main loop works the same either way and nothing is lost.
struct inspection_output {
  std::ostream* error = nullptr;
  bool files = false;
  std::string why_files;  // opens the line that asks for Enter
  // The window module's functions, looked up on first use.
  decltype(&pitchlog_show_image) show = nullptr;
  decltype(&pitchlog_wait_key) wait = nullptr;
};

void switch_to_files(inspection_output& out, std::string why) {
  out.files = true;
  out.why_files = std::move(why);
}

// Loads the window module from the program's own folder; on failure the burst
// goes to files, with the loader's reason. The module stays loaded: its
// windows last until the process ends.
void load_window_module(inspection_output& out) {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    switch_to_files(out, "cannot find pitchlog's folder (" + error.message() + ")");
    return;
  }
  const std::filesystem::path module = exe.parent_path() / window_module_file;
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    switch_to_files(out, std::string("cannot show windows (") + dlerror() + ")");
    return;
  }
  out.show = reinterpret_cast<decltype(out.show)>(dlsym(handle, show_image_symbol));
  out.wait = reinterpret_cast<decltype(out.wait)>(dlsym(handle, wait_key_symbol));
  if (out.show == nullptr || out.wait == nullptr) {
    out.show = nullptr;
    out.wait = nullptr;
    dlclose(handle);
    switch_to_files(out, "cannot show windows (" + module.string() + " lacks its functions)");
  }
}

void show_image(inspection_output& out, const std::string& window, const cv::Mat& image) {
  if (!out.files && out.show == nullptr) load_window_module(out);
  if (!out.files) {
    if (out.show(window.c_str(), image.rows, image.cols, image.type(), image.data, image.step) == 0)
      return;
    switch_to_files(out, "the window toolkit failed");
  }
  cv::imwrite(window + ".png", image);
}

void wait_key(inspection_output& out) {
  if (!out.files) {
    if (out.wait() == 0) return;
    *out.error << "pitchlog: the window toolkit failed; press Enter to end." << std::endl;
  } else {
    *out.error << "pitchlog: " << out.why_files
               << "; the burst is in src_img1.png to src_img11.png in the working folder; press "
                  "Enter to end."
               << std::endl;
  }
  std::cin.get();
}

}  // namespace

platform desktop_platform(std::ostream& console, std::ostream& error) {
  platform p = console_platform(console, error);

  auto grab = std::make_shared<x11_grab>();
  grab->error = &error;
  p.source.grab = [grab](screen_grab& g) { return grab_x11_screen(*grab, g); };
  p.source.unchanged = [grab] { return x11_screen_unchanged(*grab); };
  p.source.change_reported_before_grab = [grab] { return x11_change_reported_before_grab(*grab); };
  p.source.pause = sleep_pause;

  auto inspection = std::make_shared<inspection_output>();
  inspection->error = &error;
  // Without a display no window can be shown.
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') switch_to_files(*inspection, "no display");
  p.show_image = [inspection](const std::string& window, const cv::Mat& image) {
    show_image(*inspection, window, image);
  };
  p.wait_key = [inspection] { wait_key(*inspection); };
  return p;
}

}  // namespace pitchlog
