// pitchlog-pictures: makes pitchlog's reference pictures from the user's own
// game: shoots its screens, cuts the pictures, checks that each one hits its
// screen and misses the others.
#include <iostream>

#include "pictures/pictures_command.h"

int main(int argc, char** argv) {
  return pitchlog::run_pictures(argc, argv, std::cin, std::cout, std::cerr,
                                pitchlog::window_drag());
}
