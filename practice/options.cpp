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

}  // namespace practice
