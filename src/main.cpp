// pitchlog: watches a baseball game on this computer's screen and records the
// kinds of pitches every pitcher throws. This file fills the platform with the
// real desktop, clock, console and windows, and runs the watcher.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <utility>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/main_loop.h"
#include "control/platform.h"
#include "record/pitch_log.h"

#ifdef _WIN32
#include <opencv2/highgui.hpp>

#include "control/gdi_grab.h"
#else
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "control/x11_grab.h"
#include "inspection_windows.h"
#endif

namespace {

// Where the inspection exit puts the burst: windows, or image files named
// after the windows and a read from standard input in place of the key wait,
// so the main loop works the same either way and nothing is lost.
struct inspection_output {
  bool files = false;
  std::string why_files;  // opens the line that asks for Enter
#ifndef _WIN32
  // The window module's functions, looked up on first use.
  decltype(&pitchlog_show_image) show = nullptr;
  decltype(&pitchlog_wait_key) wait = nullptr;
#endif
};

void switch_to_files(inspection_output& out, std::string why) {
  out.files = true;
  out.why_files = std::move(why);
}

#ifndef _WIN32
// Loads the window module from pitchlog's own folder; on failure the burst
// goes to files, with the loader's reason. The module stays loaded: its
// windows last until the process ends.
void load_window_module(inspection_output& out) {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    switch_to_files(out, "cannot find pitchlog's folder (" + error.message() + ")");
    return;
  }
  const std::filesystem::path module = exe.parent_path() / pitchlog::window_module_file;
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    switch_to_files(out, std::string("cannot show windows (") + dlerror() + ")");
    return;
  }
  out.show = reinterpret_cast<decltype(out.show)>(dlsym(handle, pitchlog::show_image_symbol));
  out.wait = reinterpret_cast<decltype(out.wait)>(dlsym(handle, pitchlog::wait_key_symbol));
  if (out.show == nullptr || out.wait == nullptr) {
    out.show = nullptr;
    out.wait = nullptr;
    dlclose(handle);
    switch_to_files(out, "cannot show windows (" + module.string() + " lacks its functions)");
  }
}
#endif

void show_image(inspection_output& out, const std::string& window, const cv::Mat& image) {
#ifdef _WIN32
  if (!out.files) {
    cv::imshow(window, image);
    return;
  }
#else
  if (!out.files && out.show == nullptr) load_window_module(out);
  if (!out.files) {
    if (out.show(window.c_str(), image.rows, image.cols, image.type(), image.data, image.step) == 0)
      return;
    switch_to_files(out, "the window toolkit failed");
  }
#endif
  cv::imwrite(window + ".png", image);
}

void wait_key(inspection_output& out) {
  if (!out.files) {
#ifdef _WIN32
    cv::waitKey(0);
    return;
#else
    if (out.wait() == 0) return;
    std::cerr << "pitchlog: the window toolkit failed; press Enter to end." << std::endl;
    std::cin.get();
    return;
#endif
  }
  std::cerr << "pitchlog: " << out.why_files
            << "; the burst is in src_img1.png to src_img11.png in the working folder; press "
               "Enter to end."
            << std::endl;
  std::cin.get();
}

// Windows always has a desktop to show windows on; on Linux, DISPLAY says.
bool has_display() {
#ifdef _WIN32
  return true;
#else
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
#endif
}

}  // namespace

int main() {
  // OpenCV works on this thread alone. pitchlog shares the machine with the
  // game: between pitches it matches small regions, where worker threads save
  // almost no time, and a pitch's ball search is short enough on one core,
  // which leaves the other core to the game.
  cv::setNumThreads(1);

  pitchlog::platform p;
  p.console = &std::cout;
  p.error = &std::cerr;
  p.read_char = [] { std::cin.get(); };
  p.clock = [] { return pitchlog::wall_clock_text(std::chrono::system_clock::now()); };

#ifdef _WIN32
  pitchlog::gdi_grab_buffer buffer;
  pitchlog::fill_windows_platform(p, buffer, std::cerr);
#else
  p.grab_screen = pitchlog::make_x11_grab(std::cerr);
  p.pause = [](int milliseconds) {
    if (milliseconds == 0) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
  };
#endif
  inspection_output inspection;
  if (!has_display()) switch_to_files(inspection, "no display");
  p.show_image = [&inspection](const std::string& window, const cv::Mat& image) {
    show_image(inspection, window, image);
  };
  p.wait_key = [&inspection] { wait_key(inspection); };

  return pitchlog::run_pitchlog(p);
}
