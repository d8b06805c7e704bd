// pitchlog-report's reading of pitches.csv (what is read, what is left out,
// how games are told apart), bad input, and the watch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report_page/made_log.h"
#include "report_page/pitch_log_reader.h"
#include "report_page/report_run.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace pitchlog;
using report_test::made_row;

const std::string header = std::string(pitch_log_header) + "\n";
constexpr const char* test_run = "2026-12-08 21:00:00.000";

std::string row(int game, pitch_type type = pitch_type::curve) {
  return pitch_log_line(test_run, made_row(game, type), game) + "\n";
}

// The text with the named column taken out of every line: a log written
// before that column was added.
std::string without_column(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line, out;
  int drop = -1;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string f; std::getline(cells, f, ',');) fields.push_back(f);
    for (int i = 0; drop < 0 && i < static_cast<int>(fields.size()); ++i)
      if (fields[i] == name) drop = i;
    fields.erase(fields.begin() + drop);
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
    out += "\n";
  }
  return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

struct log_case {
  const char* name;
  std::string text;
  bool complete_rows_only;
  log_verdict verdict;
  std::vector<int> games;  // of the rows read, in order
  std::vector<int> left_out;
};

TEST(pitch_log_reader, reads_the_rows_it_can_and_names_the_rest) {
  const std::string two = header + row(1) + row(1);
  const std::string cut = row(1).substr(0, 40);
  const log_case cases[] = {
      {"no bytes", "", false, log_verdict::empty, {}, {}},
      {"a header alone", header, false, log_verdict::empty, {}, {}},
      {"a foreign header", "when,what\n" + row(1), false, log_verdict::foreign_header, {}, {}},
      {"rows without a header", row(1), false, log_verdict::foreign_header, {}, {}},
      {"columns out of order",
       replaced(two, "half,team", "team,half"),
       false,
       log_verdict::foreign_header,
       {},
       {}},
      {"a last row cut short", two + cut, false, log_verdict::read, {1, 1}, {4}},
      {"a last row being written", two + cut, true, log_verdict::read, {1, 1}, {}},
      {"bad rows among good ones",
       header + row(1) + replaced(row(1), "curve", "slider") +
           replaced(row(1), ",1,right", ",6,right") +
           replaced(row(1), "top,batting_second", "top,batting_first") + cut + "\n" + row(1),
       false,
       log_verdict::read,
       {1, 1},
       {3, 4, 5, 6}},
      {"a log from before the time column",
       without_column(two, "time"),
       false,
       log_verdict::read,
       {1, 1},
       {}},
      {"games told apart where the number changes, across runs",
       header + row(1) + row(1) + row(2) + row(1) + header + row(1),
       false,
       log_verdict::read,
       {1, 1, 2, 3, 3},
       {}},
  };
  for (const log_case& c : cases) {
    SCOPED_TRACE(c.name);
    const pitch_log_contents log = read_pitch_log(c.text, c.complete_rows_only);
    EXPECT_EQ(log.verdict, c.verdict);
    std::vector<int> games, left_out;
    for (const logged_pitch& p : log.pitches) games.push_back(p.game);
    for (const left_out_line& l : log.left_out) left_out.push_back(l.line);
    EXPECT_EQ(games, c.games);
    EXPECT_EQ(left_out, c.left_out);
  }
}

struct bad_case {
  const char* name;
  const char* log;  // nullptr: no log
  std::vector<const char*> arguments;
  report_outcome outcome;
  const char* says;  // the start of the one line, after "pitchlog-report: "
};

TEST(report_page, bad_input_says_why_in_one_line_and_leaves_the_page_as_it_was) {
  const std::string game = header + row(1) + row(2);
  const bad_case cases[] = {
      {"no log", nullptr, {}, report_outcome::bad_input, "no such file: pitches.csv"},
      {"an empty log", "", {}, report_outcome::bad_input, "pitches.csv holds no pitches"},
      {"a foreign log",
       "a,b\n1,2\n",
       {},
       report_outcome::bad_input,
       "pitches.csv is not a pitch log: its first line is \"a,b\""},
      {"no such game",
       game.c_str(),
       {"--game", "3"},
       report_outcome::bad_input,
       "pitches.csv has no game 3: it holds games 1 to 2"},
      {"no folder for the page",
       game.c_str(),
       {"--out", "gone/report.html"},
       report_outcome::not_written,
       "cannot write gone/report.html.tmp"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::scoped_work_dir dir;
    if (c.log) std::ofstream("pitches.csv", std::ios::binary) << c.log;
    std::ofstream("report.html") << "an earlier page";
    std::vector<const char*> argv = {"pitchlog-report"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    report_options options;
    std::string error;
    ASSERT_TRUE(parse_report_arguments(static_cast<int>(argv.size()), argv.data(), options, error));
    std::ostringstream out, err;
    EXPECT_EQ(write_report(options, out, err), c.outcome);
    EXPECT_EQ(test_support::count_of(err.str(), "\n"), 1) << err.str();
    EXPECT_TRUE(err.str().starts_with(std::string("pitchlog-report: ") + c.says)) << err.str();
    EXPECT_EQ(test_support::read_file("report.html"), "an earlier page");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), c.log ? 2 : 1);
  }
}

// pitchlog appends a row while the page is watched: the page follows once the
// row is whole, and a row caught half-written is neither drawn nor named.
TEST(report_page, watch_rewrites_the_page_when_a_row_is_appended) {
  test_support::scoped_work_dir dir;
  std::ofstream("pitches.csv", std::ios::binary) << report_test::made_log(10);
  const std::string next = pitch_log_line(test_run, made_row(10, pitch_type::fork), 1);
  std::vector<std::string> pages;
  int looks = 0;
  const watch_hooks hooks = {[&] {
                               pages.push_back(test_support::read_file("report.html"));
                               std::ofstream log("pitches.csv", std::ios::binary | std::ios::app);
                               if (looks == 1) log << next.substr(0, 30);
                               if (looks == 2) log << next.substr(30) << "\n";
                             },
                             [&] { return looks++ < 3; }};
  report_options options;
  options.log = "pitches.csv";
  options.out = "report.html";
  std::ostringstream out, err;
  EXPECT_EQ(watch_report(options, hooks, out, err), report_outcome::written);
  pages.push_back(test_support::read_file("report.html"));
  ASSERT_EQ(pages.size(), 4u);
  const char* counts[] = {"10 pitches", "10 pitches", "11 pitches", "11 pitches"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(pages[i].find(std::string("pitches.csv: ") + counts[i]), std::string::npos);
    EXPECT_NE(pages[i].find("<meta http-equiv=\"refresh\""), std::string::npos);
  }
  EXPECT_EQ(err.str(), "");
  EXPECT_FALSE(fs::exists("report.html.tmp"));
}

}  // namespace
