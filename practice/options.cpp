#include "practice/options.h"

#include <algorithm>

namespace practice {

bool read_options(
    const std::vector<std::string_view>& args,
    const std::function<option_read(std::string_view flag, std::string_view value)>& read,
    std::string& error, std::initializer_list<std::string_view> switches) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view flag = args[i];
    std::string_view value;
    if (std::find(switches.begin(), switches.end(), flag) == switches.end()) {
      if (i + 1 >= args.size()) {
        error = "missing value after " + std::string(flag);
        return false;
      }
      value = args[++i];
    }
    switch (read(flag, value)) {
      case option_read::ok:
        break;
      case option_read::unknown:
        error = "unknown option " + std::string(flag);
        return false;
      case option_read::bad_value:
        error = "bad value for " + std::string(flag) + ": " + std::string(value);
        return false;
    }
  }
  return true;
}

option_read read_seeded_game_option(std::string_view flag, std::string_view value,
                                    seeded_game_options& o) {
  bool ok = true;
  if (flag == "--seed") {
    uint64_t seed = 0;
    ok = parse_number(value, seed);
    o.seed = seed;
  } else if (flag == "--innings") {
    ok = parse_number(value, o.innings) && o.innings >= 1 && o.innings <= 99;
  } else if (flag == "--pitches") {
    ok = parse_number(value, o.pitches) && o.pitches >= 1 && o.pitches <= 100000;
  } else if (flag == "--x" || flag == "--y") {
    int v = 0;
    ok = parse_number(value, v) && v > -100000 && v < 100000;
    (flag == "--x" ? o.x : o.y) = v;
  } else {
    return option_read::unknown;
  }
  return ok ? option_read::ok : option_read::bad_value;
}

}  // namespace practice
