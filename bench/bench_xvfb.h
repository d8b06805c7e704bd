#pragma once
// A private Xvfb for a benchmark: started on a free display, ready to take
// clients when start() returns true, stopped by stop() or at the end of the run.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "control/capture/linux/x11_grab.h"

namespace bench {

struct xvfb {
  pid_t pid = -1;
  std::string display;

  xvfb() = default;
  xvfb(const xvfb&) = delete;
  xvfb& operator=(const xvfb&) = delete;
  ~xvfb() { stop(); }

  bool start(const char* screen = "1920x1080x24") {
    namespace fs = std::filesystem;
    for (int number = 600; number < 700 && display.empty(); ++number) {
      const std::string n = std::to_string(number);
      const std::string socket = "/tmp/.X11-unix/X" + n;
      const std::string name = ":" + n;
      if (fs::exists(socket) || fs::exists("/tmp/.X" + n + "-lock")) continue;
      pid = fork();
      if (pid == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               "+extension", "MIT-SHM", "-ac", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid < 0) return false;
      // The socket shows a moment before the server takes clients: wait for both.
      for (int i = 0; i < 100 && display.empty(); ++i) {
        if (fs::exists(socket) && accepts_clients(name)) {
          display = name;
          break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
          pid = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (display.empty()) stop();
    }
    return !display.empty();
  }

  static bool accepts_clients(const std::string& name) {
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", name.c_str(), 1);
    std::ostream quiet(nullptr);
    const bool ok = pitchlog::open_x11_grabber(quiet) != nullptr;
    setenv("DISPLAY", previous.c_str(), 1);
    return ok;
  }

  void stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    pid = -1;
  }
};

}  // namespace bench
