#pragma once
// A process with pipes to its standard input and from its standard output,
// and pitchlog-pictures shoot driven through them while the practice game
// shows each screen it asks for.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "practice/process.h"

namespace test_support {

struct child {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
  std::string pending;
};

// Starts `args` in `dir` with the extra environment `env`, its errors into
// `errors`.
inline child spawn(const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env,
                   const std::filesystem::path& dir = {},
                   const std::filesystem::path& errors = "/dev/null") {
  int to[2], from[2];
  if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) return {};
  child c;
  c.pid = practice::start_process({.argv = args,
                                   .dir = dir,
                                   .env = env,
                                   .input_fd = to[0],
                                   .output_fd = from[1],
                                   .errors = errors});
  close(to[0]);
  close(from[1]);
  c.in = to[1];
  c.out = from[0];
  return c;
}

// The next line of the child's output without its line end (LF or CR LF);
// false at its end or after `seconds`.
inline bool read_line(child& c, std::string& line, int seconds = 20) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (const size_t end = c.pending.find('\n'); end != std::string::npos) {
      line = c.pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      c.pending.erase(0, end + 1);
      return true;
    }
    pollfd p{c.out, POLLIN, 0};
    if (std::chrono::steady_clock::now() > give_up || poll(&p, 1, 200) < 0) return false;
    char buffer[4096];
    if (p.revents == 0) continue;
    const ssize_t n = read(c.out, buffer, sizeof buffer);
    if (n <= 0) return false;
    c.pending.append(buffer, static_cast<size_t>(n));
  }
}

inline void write_line(const child& c, const std::string& line) {
  const std::string text = line + "\n";
  ASSERT_EQ(write(c.in, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Closes the child's input and waits for its exit status (killed after
// `seconds`).
inline int finish(child& c, int seconds = 20) {
  close(c.in);
  close(c.out);
  const std::optional<int> status = practice::wait_process(c.pid, std::chrono::seconds(seconds));
  if (status) return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  practice::stop_process(c.pid, SIGKILL);
  return -1;
}

// Answers a started shoot: shows each screen it asks for with the practice
// game's `show` and answers "skip" for the labels in `skip`, Enter for the
// others. The labels asked for, in order; the shoot's exit code in
// `exit_code`. `seconds` bounds each wait for a line.
inline std::vector<std::string> drive_shoot(child& shoot, child& show,
                                            const std::set<std::string>& skip, int& exit_code,
                                            int seconds = 20) {
  std::vector<std::string> asked;
  for (std::string line; read_line(shoot, line, seconds);) {
    if (line.empty() || line[0] != '[') continue;
    const size_t from = line.find("] ") + 2;
    const std::string label = line.substr(from, line.find(':') - from);
    asked.push_back(label);
    write_line(show, "--shot " + label);
    std::string shown;
    EXPECT_TRUE(read_line(show, shown) && shown == "shown") << label;
    write_line(shoot, skip.count(label) ? "skip" : "");
  }
  exit_code = finish(shoot, seconds);
  return asked;
}

}  // namespace test_support
