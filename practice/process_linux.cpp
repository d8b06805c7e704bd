#include "practice/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include <X11/Xlib.h>

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

namespace practice {

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  for (const auto end = clock_type::now() + limit; clock_type::now() < end;) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ready();
}

bool wait_for_file(const fs::path& path, const std::function<bool(const std::string&)>& ready,
                   std::chrono::milliseconds limit) {
  return wait_until([&] { return ready(read_file(path)); }, limit);
}

namespace {

// In the child: opens `path` for `flags` onto descriptor `target`.
bool redirect(const char* path, int flags, int target) {
  const int fd = open(path, flags, 0644);
  return fd >= 0 && dup2(fd, target) >= 0;
}

[[noreturn]] void exec_child(const process_launch& launch) {
  if (launch.own_group) setpgid(0, 0);
  const bool in = launch.input_fd >= 0 ? dup2(launch.input_fd, STDIN_FILENO) >= 0
                                       : redirect("/dev/null", O_RDONLY, STDIN_FILENO);
  const char* out = launch.output.empty() ? "/dev/null" : launch.output.c_str();
  const bool outputs =
      (launch.output_fd >= 0 ? dup2(launch.output_fd, STDOUT_FILENO) >= 0
                             : redirect(out, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO)) &&
      (launch.errors.empty()
           ? dup2(STDOUT_FILENO, STDERR_FILENO) >= 0
           : redirect(launch.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO));
  if (!in || !outputs) _exit(126);
  // After the redirections, so that their paths are the caller's.
  if (!launch.dir.empty() && chdir(launch.dir.c_str()) != 0) _exit(126);
  for (const auto& [name, value] : launch.env) setenv(name.c_str(), value.c_str(), 1);
  for (const std::string& name : launch.unset_env) unsetenv(name.c_str());
  std::vector<char*> args;
  for (const std::string& a : launch.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

}  // namespace

pid_t start_process(const process_launch& launch) {
  if (launch.argv.empty()) return -1;
  const pid_t pid = fork();
  if (pid == 0) exec_child(launch);
  return pid;
}

std::optional<int> wait_process(pid_t pid, std::chrono::milliseconds limit) {
  int status = 0;
  const bool ended = wait_until(
      [&] {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
      },
      limit);
  if (!ended) return std::nullopt;
  return status;
}

int stop_process(pid_t pid, int signal, std::chrono::milliseconds limit, bool group) {
  if (pid <= 0) return -1;
  kill(group ? -pid : pid, signal);
  if (const std::optional<int> status = wait_process(pid, limit)) return *status;
  kill(group ? -pid : pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

std::optional<int> run_process(const process_launch& launch, std::chrono::milliseconds limit) {
  const pid_t pid = start_process(launch);
  if (pid < 0) return std::nullopt;
  if (const std::optional<int> status = wait_process(pid, limit)) return status;
  stop_process(pid, SIGKILL, std::chrono::seconds(10), launch.own_group);
  return std::nullopt;
}

bool display_takes_clients(const std::string& display) {
  Display* d = XOpenDisplay(display.c_str());
  if (d == nullptr) return false;
  XCloseDisplay(d);
  return true;
}

// Xvfb picks a free display number itself and writes it to the descriptor
// given with -displayfd once it takes clients, so that concurrent tests never
// race for a number.
xvfb::xvfb(int width, int height, std::chrono::milliseconds ready_limit) {
  int number_pipe[2];
  if (pipe2(number_pipe, O_CLOEXEC) != 0) {
    failure_ = "no pipe for the display number";
    return;
  }
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  pid_ = fork();
  if (pid_ == 0) {
    // The write end stays open across exec; the read end does not.
    const int fd = dup(number_pipe[1]);
    const std::string fd_text = std::to_string(fd);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, STDIN_FILENO);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", screen.c_str(),
           "-nolisten", "tcp", "+extension", "MIT-SHM", "-ac", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(number_pipe[1]);
  if (pid_ < 0) {
    close(number_pipe[0]);
    failure_ = "cannot fork";
    return;
  }
  std::string number;
  const auto end = clock_type::now() + ready_limit;
  while (number.empty() || number.back() != '\n') {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now()).count();
    pollfd p{number_pipe[0], POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char c = 0;
    if (read(number_pipe[0], &c, 1) != 1) break;  // Xvfb ended
    number += c;
  }
  close(number_pipe[0]);
  if (number.empty() || number.back() != '\n') {
    if (wait_process(pid_, std::chrono::milliseconds(0))) {
      failure_ = "Xvfb ended before it took clients (is Xvfb installed?)";
      pid_ = -1;
    } else {
      failure_ = "Xvfb did not take clients in time";
      stop();
    }
    return;
  }
  number.pop_back();
  const std::string name = ":" + number;
  if (!wait_until([&] { return display_takes_clients(name); }, std::chrono::seconds(10))) {
    failure_ = "Xvfb on " + name + " refuses clients";
    stop();
    return;
  }
  display_ = name;
}

xvfb::~xvfb() {
  stop();
}

void xvfb::stop() {
  if (pid_ > 0) stop_process(pid_, SIGTERM);
  pid_ = -1;
  display_.clear();
}

}  // namespace practice
