#pragma once
// Looks at an X display's top-level windows and types into one of them (Xlib
// kept out of the test files, whose OpenCV headers clash with its macros).
#include <string>
#include <vector>

namespace x11_keys {

// Names of the windows on `display` (the whole tree under the root); empty
// when the display cannot be opened.
std::vector<std::string> window_names(const std::string& display);

// Sends a press and release of the Return key to the window named `name`;
// false when the display cannot be opened or no window has that name.
bool press_return(const std::string& display, const std::string& name);

}  // namespace x11_keys
