#pragma once
// Command-line options of the practice game's commands: FLAG VALUE pairs read
// in order, numbers read whole.
#include <charconv>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace practice {

// Reads all of `text` as a number; false when it is none or has more after it.
template <typename T>
bool parse_number(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// What an option reader made of one flag and its value.
enum class option_read { ok, bad_value, unknown };

// Hands each FLAG VALUE pair of `args` to `read` in order; the flags in
// `switches` take no value and are handed an empty one. False at the first
// flag without its value, unknown flag or bad value, with one line in `error`.
bool read_options(
    const std::vector<std::string_view>& args,
    const std::function<option_read(std::string_view flag, std::string_view value)>& read,
    std::string& error, std::initializer_list<std::string_view> switches = {});

// The generated game and its place on the desktop, which play and record both take.
struct seeded_game_options {
  std::optional<uint64_t> seed;
  int innings = 9;
  int pitches = 0;          // the game ends after this many pitches; 0: the whole game
  std::optional<int> x, y;  // the game picture's top left on the desktop
};

// Reads --seed, --innings, --pitches, --x or --y into `o`; any other flag is unknown.
option_read read_seeded_game_option(std::string_view flag, std::string_view value,
                                    seeded_game_options& o);

}  // namespace practice
