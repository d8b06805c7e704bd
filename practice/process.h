#pragma once
// Processes around the practice game's real-time runs, shared by the tests and
// the benchmarks: starting and stopping a program, a private Xvfb that takes
// clients, waiting (with a bound) for a state such as a file being complete,
// and reading a whole file.
#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace practice {

// The whole file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Asks `ready` every 20 ms until it says yes or `limit` has passed; its last answer.
bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit);

// Waits until `ready` accepts the whole content of `path` (bounded by `limit`).
bool wait_for_file(const std::filesystem::path& path,
                   const std::function<bool(const std::string& content)>& ready,
                   std::chrono::milliseconds limit);

struct process_launch {
  std::vector<std::string> argv = {};  // argv[0]: a path, or a name looked up in PATH
  std::filesystem::path dir = {};      // working folder; empty: the caller's
  std::vector<std::pair<std::string, std::string>> env = {};  // set in the child
  std::vector<std::string> unset_env = {};                    // removed in the child
  int input_fd = -1;                                          // standard input; -1: /dev/null
  int output_fd = -1;  // standard output (a pipe's end, say); -1: `output`
  // Relative to the caller's working folder, not `dir`:
  std::filesystem::path output = {};  // standard output into this file (emptied); empty: /dev/null
  std::filesystem::path errors = {};  // standard error into this file; empty: with the output
  bool own_group = false;             // its own process group: a stop ends its children too
};

// Starts the program; the child's id, or -1 when no process could be made.
// A program that cannot be executed ends with status 127.
pid_t start_process(const process_launch& launch);

// Waits up to `limit` for `pid` to end and reaps it: its wait status, or
// nothing while it still runs.
std::optional<int> wait_process(pid_t pid, std::chrono::milliseconds limit);

// Sends `signal` (to the group for a process in its own group), waits up to
// `limit`, then kills it; reaps it and returns its wait status.
int stop_process(pid_t pid, int signal = SIGTERM,
                 std::chrono::milliseconds limit = std::chrono::seconds(10), bool group = false);

// Runs the program to its end, killed after `limit`: its wait status, or
// nothing when it had to be killed.
std::optional<int> run_process(const process_launch& launch, std::chrono::milliseconds limit);

// A private Xvfb: one 24-bit screen of the given size on a display number no
// other server holds, with MIT-SHM, ready to take clients once constructed;
// stopped on destruction. display() is empty, and failure() says why, when it
// could not start within `ready_limit`.
class xvfb {
 public:
  xvfb(int width, int height, std::chrono::milliseconds ready_limit = std::chrono::seconds(60));
  ~xvfb();
  xvfb(const xvfb&) = delete;
  xvfb& operator=(const xvfb&) = delete;

  const std::string& display() const { return display_; }  // e.g. ":457"
  pid_t pid() const { return pid_; }
  const std::string& failure() const { return failure_; }
  void stop();

 private:
  std::string display_;
  std::string failure_;
  pid_t pid_ = -1;
};

// Whether a client can connect to `display` now.
bool display_takes_clients(const std::string& display);

}  // namespace practice
