#include "record/record_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "record/iconv_cp932.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
namespace fs = std::filesystem;

using test_support::read_file;

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Five pitches of batting_second's first pitcher to one batter.
pitch_record five_pitch_at_bat() {
  pitch_record r;
  struct step {
    pitch_type type;
    int32_t first, two;
  };
  const step steps[] = {{pitch_type::straight, 1, 0},
                        {pitch_type::curve, 0, 0},
                        {pitch_type::fork, 0, 1},
                        {pitch_type::shoot, 0, 1},
                        {pitch_type::straight, 0, 1}};
  for (const step& s : steps) {
    if (s.first) clear_previous_pitch_type(r);
    mark_has_pitched(r, team::batting_second);
    count_pitcher_pitch(r, team::batting_second, s.first, s.two);
    record_pitch(r, team::batting_second, s.type, s.first, s.two);
  }
  return r;
}

const std::vector<std::string> five_pitch_report = {
    "[後攻チームの投手の配球記録]",
    "[１人目の投手]",
    "[すべて]",
    "ストレート：40%,カーブ：20%,フォーク：20%,シュート：20%",
    "[初球]",
    "ストレート：100%,カーブ：0%,フォーク：0%,シュート：0%",
    "[２ストライク後]",
    "ストレート：33%,カーブ：0%,フォーク：33%,シュート：33%",
    "[ストレートの後]",
    "ストレート：0%,カーブ：100%,フォーク：0%,シュート：0%",
    "[カーブの後]",
    "ストレート：0%,カーブ：0%,フォーク：100%,シュート：0%",
    "[フォークの後]",
    "ストレート：0%,カーブ：0%,フォーク：0%,シュート：100%",
    "[シュートの後]",
    "ストレート：100%,カーブ：0%,フォーク：0%,シュート：0%",
    "",
    "[先攻チームの投手の配球記録]",
    "",
    "",
    "",
    "",
};

TEST(record_report, five_pitch_example_on_console_and_in_file) {
  test_support::scoped_work_dir dir;
  report_state report;
  ASSERT_TRUE(open_report_file(report));
  std::ostringstream console;

  print_record_report(five_pitch_at_bat(), console, report);

  EXPECT_EQ(console.str(), joined(five_pitch_report));
  // Flushed line by line: complete on disk before the stream is closed.
  const std::string expected_file = test_support::iconv_cp932(joined(five_pitch_report));
  EXPECT_EQ(read_file(report_file_name), expected_file);
}

// Prints one report in a fresh folder; the file must hold the console's text
// in code page 932. Returns the console's text.
std::string report_of(const pitch_record& r) {
  test_support::scoped_work_dir dir;
  report_state report;
  EXPECT_TRUE(open_report_file(report));
  std::ostringstream console;
  print_record_report(r, console, report);
  EXPECT_EQ(read_file(report_file_name), test_support::iconv_cp932(console.str()));
  return console.str();
}

std::string percentages(const char* straight, const char* curve, const char* fork,
                        const char* shoot) {
  return std::string("ストレート：") + straight + "%,カーブ：" + curve + "%,フォーク：" + fork +
         "%,シュート：" + shoot + "%";
}

struct percentage_case {
  const char* name;
  int32_t pitch_count;
  double counts[pitch_type_count];
  const char* values[pitch_type_count];
};
void PrintTo(const percentage_case& c, std::ostream* os) {
  *os << c.name;
}

class percentage_line : public testing::TestWithParam<percentage_case> {};

TEST_P(percentage_line, rounds_half_up_to_whole_numbers) {
  const percentage_case& c = GetParam();
  pitch_record r;
  r.teams[static_cast<int>(team::batting_second)].has_pitched = 1;
  pitcher_record& p = r.teams[static_cast<int>(team::batting_second)].pitchers[0];
  p.pitch_count = c.pitch_count;
  for (int t = 0; t < pitch_type_count; ++t) p.type_count[0][t] = c.counts[t];

  std::istringstream in(report_of(r));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[3], percentages(c.values[0], c.values[1], c.values[2], c.values[3]));
  EXPECT_EQ(lines[5], percentages("-", "-", "-", "-"));  // no first pitches yet
}

INSTANTIATE_TEST_SUITE_P(
    record_report, percentage_line,
    testing::Values(percentage_case{"thirds", 3, {1, 2, 0, 0}, {"33", "67", "0", "0"}},
                    percentage_case{"eighths", 8, {1, 7, 0, 0}, {"13", "88", "0", "0"}},
                    percentage_case{
                        "thirds_short_of_100", 3, {1, 1, 1, 0}, {"33", "33", "33", "0"}},
                    percentage_case{"all_of_one", 7, {0, 0, 0, 7}, {"0", "0", "0", "100"}},
                    percentage_case{"no_pitches", 0, {0, 0, 0, 0}, {"-", "-", "-", "-"}}),
    [](const auto& info) { return info.param.name; });

struct block_case {
  const char* name;
  int32_t slot, has_pitched;
  const char* pitcher_header;  // null: the team header stands alone
};
void PrintTo(const block_case& c, std::ostream* os) {
  *os << c.name;
}

class pitcher_block : public testing::TestWithParam<block_case> {};

TEST_P(pitcher_block, only_the_current_pitcher_and_only_when_due) {
  const block_case& c = GetParam();
  pitch_record r;
  r.teams[static_cast<int>(team::batting_first)].pitcher_slot = c.slot;
  r.teams[static_cast<int>(team::batting_first)].has_pitched = c.has_pitched;

  std::string expected = "[後攻チームの投手の配球記録]\n[先攻チームの投手の配球記録]\n";
  if (c.pitcher_header) {
    expected += std::string(c.pitcher_header) + "\n";
    for (const char* s : {"[すべて]", "[初球]", "[２ストライク後]", "[ストレートの後]",
                          "[カーブの後]", "[フォークの後]", "[シュートの後]"})
      expected += std::string(s) + "\n" + percentages("-", "-", "-", "-") + "\n";
    expected += "\n";
  }
  EXPECT_EQ(report_of(r), expected + "\n\n\n\n");
}

INSTANTIATE_TEST_SUITE_P(record_report, pitcher_block,
                         testing::Values(block_case{"not_pitched", 0, 0, nullptr},
                                         block_case{"first_pitcher", 0, 1, "[１人目の投手]"},
                                         block_case{"fourth_pitcher", 3, 0, "[４人目の投手]"},
                                         block_case{"fifth_pitcher", 4, 1, "[５人目の投手]"},
                                         block_case{"slot_past_five", 5, 1, nullptr},
                                         block_case{"negative_slot", -1, 1, nullptr}),
                         [](const auto& info) { return info.param.name; });

TEST(record_report, reports_follow_one_another_in_a_file_emptied_at_open) {
  test_support::scoped_work_dir dir;
  std::ofstream(report_file_name) << "left over from an earlier run\n";
  report_state report;
  ASSERT_TRUE(open_report_file(report));
  std::ostringstream console;
  const pitch_record r = five_pitch_at_bat();
  print_record_report(r, console, report);
  print_record_report(r, console, report);
  close_report_file(report);

  const std::string one = joined(five_pitch_report);
  EXPECT_EQ(console.str(), one + one);
  EXPECT_EQ(read_file(report_file_name), test_support::iconv_cp932(one + one));
}

TEST(record_report, open_fails_when_text_txt_is_a_folder) {
  test_support::scoped_work_dir dir;
  fs::create_directory(report_file_name);
  report_state report;
  EXPECT_FALSE(open_report_file(report));
}

}  // namespace
