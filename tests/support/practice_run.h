#pragma once
// A whole pitchlog run on the practice game's in-process desktop, in virtual
// time: a fresh working folder with the reference pictures in data/, the
// desktop connected to the platform and the console caught in a string.
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "control/main_loop.h"
#include "practice/data_pictures.h"
#include "practice/desktop.h"
#include "practice/scenario.h"
#include "support/test_support.h"

namespace test_support {

// The scenario a test writes as JSON; a mistake in it fails the test and
// gives an empty scenario.
inline practice::scenario scenario_of(const std::string& json) {
  std::string error;
  std::optional<practice::scenario> s = practice::parse_scenario(json, error);
  EXPECT_TRUE(s) << error;
  return s.value_or(practice::scenario{});
}

struct practice_run {
  scoped_work_dir dir;
  practice::desktop desk;
  pitchlog::platform p;
  std::ostringstream console;
  std::unique_ptr<pitchlog::watcher> w = std::make_unique<pitchlog::watcher>();

  // `data_from`: a folder whose data/ is copied in; empty: the practice game
  // writes its pictures afresh.
  explicit practice_run(practice::scenario game, const std::filesystem::path& data_from = {})
      : desk(practice::make_desktop(std::move(game))) {
    if (data_from.empty()) {
      std::string error;
      EXPECT_TRUE(practice::write_data_pictures(dir.path() / "data", error)) << error;
    } else {
      std::filesystem::copy(data_from / "data", dir.path() / "data");
    }
    practice::connect_platform(desk, p);
    p.console = &console;
  }

  int run() { return pitchlog::exit_code_of(pitchlog::run_watcher(*w, p)); }
};

}  // namespace test_support
