#include "control/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "control/capture/data_path.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
namespace fs = std::filesystem;

enum class report_file { absent, holds_text, is_folder };

struct start_case {
  const char* name;
  int missing_picture;  // index into the start-up pictures, or -1 for none
  report_file before;
  int exit_code;
  const char* console;
  int reads;
};
void PrintTo(const start_case& c, std::ostream* os) {
  *os << c.name;
}

constexpr const char* old_report = "reports of an earlier run\n";

class start_up_exit : public testing::TestWithParam<start_case> {};

TEST_P(start_up_exit, ends_or_goes_on_with_its_code) {
  const start_case& c = GetParam();
  test_support::scoped_work_dir dir;
  fs::create_directory("data");
  for (int i = 0; i < template_count; ++i) {
    if (i == c.missing_picture) continue;
    ASSERT_TRUE(cv::imwrite(data_path(template_file_names[i]),
                            cv::Mat(4, 4, CV_8UC3, cv::Scalar(10, 20, 30))));
  }
  if (c.before == report_file::holds_text) std::ofstream(report_file_name) << old_report;
  if (c.before == report_file::is_folder) fs::create_directory(report_file_name);

  std::ostringstream console;
  int reads = 0;
  platform p;
  p.console = &console;
  p.read_char = [&reads] { ++reads; };
  template_set templates;
  report_state report;

  const std::optional<run_outcome> refused = start_up(templates, report, p);
  EXPECT_EQ(refused ? exit_code_of(*refused) : 0, c.exit_code);
  EXPECT_EQ(console.str(), c.console);
  EXPECT_EQ(reads, c.reads);
  EXPECT_EQ(report.file.is_open(), c.exit_code == 0);

  // A missing picture leaves text.txt as it was; a run that goes on starts it empty.
  const bool opened = c.exit_code == 0;
  switch (c.before) {
    case report_file::absent:
      EXPECT_EQ(fs::exists(report_file_name), opened);
      break;
    case report_file::holds_text:
      EXPECT_EQ(test_support::read_file(report_file_name), opened ? "" : old_report);
      break;
    case report_file::is_folder:
      EXPECT_TRUE(fs::is_directory(report_file_name));
      break;
  }
}

constexpr const char* message = "ファイルが読み込めません。\n";
constexpr int ball_count = static_cast<int>(template_id::ball_count);

INSTANTIATE_TEST_SUITE_P(
    start_up, start_up_exit,
    testing::Values(
        start_case{"all_present", -1, report_file::holds_text, 0, "", 0},
        start_case{"all_present_no_report_yet", -1, report_file::absent, 0, "", 0},
        start_case{"ball_count_missing", ball_count, report_file::holds_text, -1, message, 1},
        start_case{"last_picture_missing", template_count - 1, report_file::absent, -1, message, 1},
        start_case{"first_picture_missing_report_folder", 0, report_file::is_folder, -1, message,
                   1},
        start_case{"report_is_a_folder", -1, report_file::is_folder, 1, "", 0}),
    [](const auto& info) { return info.param.name; });

}  // namespace
