// pitchlog-pictures shoot on a private Xvfb, driven through its standard
// input while the practice game shows each screen it asks for: every shot
// holds the screen asked for, a skipped screen is not saved, and the next
// shoot asks for it alone.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "practice/renderer.h"
#include "practice/shots.h"
#include "support/test_support.h"

namespace {

// A process with pipes to its standard input and from its standard output.
struct child {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
  std::string pending;
};

child spawn(const std::vector<std::string>& args, const std::string& display) {
  int to[2], from[2];
  if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) return {};
  child c;
  c.pid = practice::start_process({.argv = args,
                                   .env = {{"DISPLAY", display}},
                                   .input_fd = to[0],
                                   .output_fd = from[1],
                                   .errors = "/dev/null"});
  close(to[0]);
  close(from[1]);
  c.in = to[1];
  c.out = from[0];
  return c;
}

// The next line of the child's output; false at its end or after 20 s.
bool read_line(child& c, std::string& line) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    if (const size_t end = c.pending.find('\n'); end != std::string::npos) {
      line = c.pending.substr(0, end);
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

void write_line(const child& c, const std::string& line) {
  const std::string text = line + "\n";
  ASSERT_EQ(write(c.in, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Closes the child's input and waits for its exit status (killed after 20 s).
int finish(child& c) {
  close(c.in);
  close(c.out);
  const std::optional<int> status = practice::wait_process(c.pid, std::chrono::seconds(20));
  if (status) return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  practice::stop_process(c.pid, SIGKILL);
  return -1;
}

// Runs shoot into shots/, showing each screen it asks for; answers "skip"
// for the labels in `skip`. The labels asked for, in order.
std::vector<std::string> shoot(const std::string& display, child& show,
                               const std::set<std::string>& skip, int& exit_code) {
  child c = spawn({PITCHLOG_BINARY_DIR "/pitchlog-pictures", "shoot", "shots"}, display);
  std::vector<std::string> asked;
  for (std::string line; read_line(c, line);) {
    if (line.empty() || line[0] != '[') continue;
    const size_t from = line.find("] ") + 2;
    const std::string label = line.substr(from, line.find(':') - from);
    asked.push_back(label);
    write_line(show, "--shot " + label);
    std::string shown;
    EXPECT_TRUE(read_line(show, shown) && shown == "shown") << label;
    write_line(c, skip.count(label) ? "skip" : "");
  }
  exit_code = finish(c);
  return asked;
}

TEST(shoot, saves_each_screen_asked_for_and_asks_again_for_a_skipped_one) {
  practice::xvfb x(1280, 800);
  ASSERT_FALSE(x.display().empty()) << x.failure();
  test_support::scoped_work_dir dir;
  const practice::desktop_layout layout = practice::shot_layout();
  child show = spawn({PITCHLOG_BINARY_DIR "/practice-game", "show", "--x",
                      std::to_string(layout.game_x), "--y", std::to_string(layout.game_y)},
                     x.display());

  std::vector<std::string> labels;
  for (const practice::labelled_view& v : practice::shot_views()) labels.emplace_back(v.label);
  int code = -1;
  const std::vector<std::string> first = shoot(x.display(), show, {"warning"}, code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()),
            std::set<std::string>(labels.begin(), labels.end()));
  EXPECT_FALSE(std::filesystem::exists("shots/warning.png"));
  const std::vector<std::string> second = shoot(x.display(), show, {}, code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(second, std::vector<std::string>{"warning"});

  const cv::Rect game(layout.game_x, layout.game_y, practice::game_width, practice::game_height);
  for (const std::string& label : labels) {
    const cv::Mat shot = cv::imread("shots/" + label + ".png", cv::IMREAD_COLOR);
    ASSERT_EQ(shot.size(), cv::Size(1280, 800)) << label;
    cv::Mat expected;
    practice::render_game(*practice::shot_view(label), expected);
    EXPECT_EQ(cv::norm(shot(game), expected, cv::NORM_INF), 0) << label;
  }
  EXPECT_EQ(finish(show), 0);
}

}  // namespace
