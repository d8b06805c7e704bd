#include "support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

#include <X11/Xlib.h>

namespace fs = std::filesystem;

namespace test_support {

scoped_work_dir::scoped_work_dir() : previous_(fs::current_path()) {
  std::random_device rd;
  for (;;) {
    dir_ = fs::temp_directory_path() / ("pitchlog-test-" + std::to_string(rd()));
    if (fs::create_directory(dir_)) break;
  }
  fs::current_path(dir_);
}

scoped_work_dir::~scoped_work_dir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  fs::remove_all(dir_, ec);
}

namespace {

bool x_socket_exists(int number) {
  return fs::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
         fs::exists("/tmp/.X" + std::to_string(number) + "-lock");
}

}  // namespace

xvfb_server::xvfb_server(int width, int height) {
  std::random_device rd;
  for (int attempt = 0; attempt < 20 && display_.empty(); ++attempt) {
    const int number = 100 + static_cast<int>(rd() % 800);
    if (x_socket_exists(number)) continue;
    std::string name(":");
    name += std::to_string(number);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = fork();
    if (pid_ == 0) {
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
      execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             "+extension", "MIT-SHM", "-ac", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) return;
    // Wait for the server's socket, or for the server to die (display taken).
    for (int i = 0; i < 100; ++i) {
      // The socket appears a moment before the server accepts clients.
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
        if (Display* d = XOpenDisplay(name.c_str())) {
          XCloseDisplay(d);
          display_ = name;
          break;
        }
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (display_.empty() && pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
}

xvfb_server::~xvfb_server() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

fs::path source_data_dir() {
  return fs::path(PITCHLOG_SOURCE_DIR) / "data";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int count_of(const std::string& text, const std::string& what) {
  if (what.empty()) return 0;
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int shm_segments_of(pid_t pid) {
  // Columns: key shmid perms size cpid lpid ...
  std::ifstream shm("/proc/sysvipc/shm");
  std::string line;
  std::getline(shm, line);
  int n = 0;
  while (std::getline(shm, line)) {
    std::istringstream row(line);
    long key, id, perms, size, cpid;
    if (row >> key >> id >> perms >> size >> cpid && cpid == pid) ++n;
  }
  return n;
}

}  // namespace test_support
