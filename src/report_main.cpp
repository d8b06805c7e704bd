// pitchlog-report: the pitchers' habits in one game of pitches.csv as an HTML
// page, written once or, with --watch, again at every new pitch.
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>

#include "report_page/report_run.h"

namespace {

// Ctrl+C or SIGTERM end a watch between two pages, so that none is left
// half-written under its temporary name.
volatile std::sig_atomic_t stop_watching = 0;

}  // namespace

int main(int argc, char** argv) {
  pitchlog::report_options options;
  std::string error;
  if (!pitchlog::parse_report_arguments(argc, argv, options, error)) {
    std::cerr << "pitchlog-report: " << error << " (--help lists the arguments)" << std::endl;
    return pitchlog::report_exit_code(pitchlog::report_outcome::bad_input);
  }
  if (options.help) {
    std::cout << pitchlog::report_usage;
    return pitchlog::report_exit_code(pitchlog::report_outcome::help);
  }
  if (!options.watch)
    return pitchlog::report_exit_code(pitchlog::write_report(options, std::cout, std::cerr));
  for (const int number : {SIGINT, SIGTERM}) std::signal(number, [](int) { stop_watching = 1; });
  const pitchlog::watch_hooks hooks = {
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(250)); },
      [] { return stop_watching == 0; }};
  return pitchlog::report_exit_code(pitchlog::watch_report(options, hooks, std::cout, std::cerr));
}
