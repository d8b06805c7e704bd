// The ways build/pitchlog ends on its own, run as the user runs it: a process
// in its working folder, with its exit status, standard output and error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

using test_support::read_file;

struct process_result {
  int status = -1;  // exit status, 0 to 255
  std::string out, err;
};

// Runs build/pitchlog in `dir` without a display, standard input at its end.
process_result run_pitchlog(const fs::path& dir) {
  const std::optional<int> wait_status =
      practice::run_process({.argv = {PITCHLOG_BINARY_DIR "/pitchlog"},
                             .dir = dir,
                             .unset_env = {"DISPLAY"},
                             .output = dir / "stdout.txt",
                             .errors = dir / "stderr.txt"},
                            std::chrono::seconds(60));
  process_result r;
  if (wait_status && WIFEXITED(*wait_status)) r.status = WEXITSTATUS(*wait_status);
  r.out = read_file(dir / "stdout.txt");
  r.err = read_file(dir / "stderr.txt");
  fs::remove(dir / "stdout.txt");
  fs::remove(dir / "stderr.txt");
  return r;
}

enum class text_file { earlier_report, folder };

struct exit_case {
  const char* name;
  const char* missing_picture;  // removed from the copy of data/, or null
  text_file before;
  int status;
  const char* out;
  const char* err_start;  // standard error: one line that begins so, or nothing at all
};
void PrintTo(const exit_case& c, std::ostream* os) {
  *os << c.name;
}

constexpr const char* earlier_report = "reports of an earlier run\n";

class pitchlog_exit : public testing::TestWithParam<exit_case> {};

TEST_P(pitchlog_exit, ends_with_its_code_and_output) {
  const exit_case& c = GetParam();
  ASSERT_TRUE(fs::exists(fs::path(PITCHLOG_BINARY_DIR) / "pitchlog")) << "build pitchlog first";
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), dir.path() / "data");
  if (c.missing_picture) {
    ASSERT_TRUE(fs::remove(dir.path() / "data" / c.missing_picture));
  }
  if (c.before == text_file::earlier_report)
    std::ofstream(dir.path() / "text.txt") << earlier_report;
  if (c.before == text_file::folder) fs::create_directory(dir.path() / "text.txt");

  const process_result r = run_pitchlog(dir.path());
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.out);
  if (*c.err_start == '\0') {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_TRUE(r.err.starts_with(c.err_start)) << r.err;
    EXPECT_EQ(test_support::count_of(r.err, "\n"), 1) << r.err;
  }
  if (c.before == text_file::earlier_report) {
    // Untouched when the pictures are missing; emptied once the run has started.
    EXPECT_EQ(read_file(dir.path() / "text.txt"), c.missing_picture ? earlier_report : "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    exits, pitchlog_exit,
    testing::Values(exit_case{"missing_picture", "ボールカウント.png", text_file::earlier_report,
                              255, "ファイルが読み込めません。\n", ""},
                    exit_case{"report_file_not_openable", nullptr, text_file::folder, 1, "", ""},
                    // Without a display the first capture fails: the screen has vanished.
                    exit_case{"vanished_screen", nullptr, text_file::earlier_report, 255, "",
                              "pitchlog: cannot open the X display"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
