#pragma once
// Runs pitchlog-pictures in the test's own process, as its command line would.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pictures/pictures_command.h"

namespace test_support {

struct pictures_result {
  int code;
  std::string out;
  std::string err;
};

// `args` after the program's name; `drag` stands in for cut's windows (none:
// no display).
inline pictures_result run_pictures(std::vector<std::string> args,
                                    const pitchlog::rectangle_drag& drag = {}) {
  args.insert(args.begin(), "pitchlog-pictures");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::istringstream in;
  std::ostringstream out, err;
  const int code =
      pitchlog::run_pictures(static_cast<int>(argv.size()), argv.data(), in, out, err, drag);
  return {code, out.str(), err.str()};
}

}  // namespace test_support
