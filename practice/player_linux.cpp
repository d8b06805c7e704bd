#include "practice/player.h"

#include <cstdio>

namespace practice {

int run_play_command(int, char**) {
  std::fputs("practice-game play: not built yet\n", stderr);
  return 2;
}

}  // namespace practice
