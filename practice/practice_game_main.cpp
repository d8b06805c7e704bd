// practice-game: the synthetic baseball game that pitchlog is tested and demonstrated on.
#include <cstdio>

int main() {
  std::puts("usage: practice-game data DIR | render ... | play ...");
  return 2;
}
