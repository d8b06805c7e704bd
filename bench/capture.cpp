// Cost of one capture_screen without its 60 ms pause, step by step, on a
// private 1920 x 1080 Xvfb: the X11 grab (shared memory against plain
// XGetImage), the grab with its conversion to BGR rows, the conversion alone
// with each row packer, the file write (in place against truncating first),
// the load back, and asking whether the screen changed since; then the whole
// overhead of the capture path against the plain reference path.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "control/capture/linux/x11_grab.h"
#include "control/capture/row_pack.h"
#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"
#include "practice/process.h"
#include "reference_write.h"

namespace fs = std::filesystem;
using namespace pitchlog;

namespace {

// The server's socket shows before it takes connections: wait until it does.
// (-noreset keeps it from resetting, and refusing clients, whenever the
// last one leaves.)
bool grab_when_ready(x11_grab& grabber, screen_grab& grab) {
  for (int i = 0; i < 250; ++i) {
    if (grab_x11_screen(grabber, grab)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Registers one step. The grabbers live as long as the run, as in pitchlog,
// so their segment and buffers are warm; every step runs once untimed, then
// is timed one capture at a time, so the median is that of single captures.
template <class Step>
void add(const char* name, Step step) {
  benchmark::RegisterBenchmark(name,
                               [step](benchmark::State& state) {
                                 step();
                                 for (auto _ : state) step();
                               })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(60)
      ->ReportAggregatesOnly(true);
}

void register_steps(x11_grabber& shared, x11_grab& plain, screen_grab& grab, platform& p) {
  add("grab_shared_memory", [&] { benchmark::DoNotOptimize(x11_fetch_screen(shared)); });
  add("grab_get_image", [&] { benchmark::DoNotOptimize(x11_fetch_screen(*plain.grabber)); });
  // The conversion works in the fetched image itself, so each one needs a fetch.
  add("grab_and_convert_to_bgr_rows", [&] {
    x11_fetch_screen(shared);
    x11_convert(shared, grab);
    benchmark::ClobberMemory();
  });
  // Packing a whole 1920 x 1080 server image in place, with each packer the
  // processor runs (the bytes do not matter, only their number).
  static std::vector<uint8_t> image(size_t{1920} * 1080 * 4, 0x5A);
  for (const auto& [kernel, name] : {std::pair{pack_kernel::scalar, "pack_in_place_scalar"},
                                     std::pair{pack_kernel::ssse3, "pack_in_place_ssse3"}}) {
    if (!pack_kernel_supported(kernel)) continue;
    add(name, [kernel = kernel] {
      pack_bgrx_rows_in_place(image.data(), 1920, 1080, 1920 * 4, kernel);
      benchmark::ClobberMemory();
    });
  }
  // The rows of the grab in the order it hands them out.
  add("write_in_place", [&] {
    benchmark::DoNotOptimize(grab.top_down
                                 ? write_capture_bmp_top_down(grab.width, grab.height, grab.pixels)
                                 : write_capture_bmp(grab.width, grab.height, grab.pixels));
  });
  add("write_truncating_first",
      [&] { benchmark::DoNotOptimize(bench::write_truncating(grab, capture_file_name)); });
  add("load_capture", [&] { benchmark::DoNotOptimize(as_stored_load(capture_file_name)); });
  // Whether the screen changed since the last grab, asked of the server's
  // change reports (one round trip): what a still attempt of the locator costs.
  add("ask_screen_unchanged", [&] { benchmark::DoNotOptimize(x11_screen_unchanged(shared)); });
  // What every look at the screen costs besides the pause: capture_screen
  // and the load of its file.
  add("capture_overhead", [&] {
    capture_screen(p);
    benchmark::DoNotOptimize(as_stored_load(capture_file_name));
  });
  // The same with plain XGetImage and a truncating write.
  add("reference_overhead", [&] {
    screen_grab plain_grab;
    grab_x11_screen(plain, plain_grab);
    bench::write_truncating(plain_grab, capture_file_name);
    benchmark::DoNotOptimize(as_stored_load(capture_file_name));
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  practice::xvfb server(1920, 1080);
  if (server.display().empty()) {
    std::cerr << "bench_capture: " << server.failure() << "\n";
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  const fs::path previous = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("pitchlog-bench-" + std::to_string(getpid()));
  fs::create_directory(dir);
  fs::current_path(dir);
  int status = 1;
  {
    std::ostream quiet(nullptr);
    x11_grab shared{.error = &quiet};
    x11_grab plain{.error = &quiet, .preferred = x11_fetch::get_image};
    screen_grab grab;
    screen_grab plain_grab;
    if (!grab_when_ready(plain, plain_grab) || !grab_when_ready(shared, grab) ||
        x11_grabber_fetch(*shared.grabber) != x11_fetch::shared_memory) {
      std::cerr << "bench_capture: no MIT-SHM grab of " << server.display() << "\n";
    } else {
      platform p;
      p.source.grab = [&](screen_grab& g) { return grab_x11_screen(shared, g); };
      register_steps(*shared.grabber, plain, grab, p);
      benchmark::RunSpecifiedBenchmarks();
      status = 0;
    }
  }
  benchmark::Shutdown();
  fs::current_path(previous);
  fs::remove_all(dir);
  server.stop();
  return status;
}
