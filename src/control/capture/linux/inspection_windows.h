#pragma once
// The inspection windows as a module of their own, "pitchlog-windows.so" beside
// the pitchlog executable. pitchlog loads it, and the window toolkit with it,
// only when it shows a burst, so a run that never shows one maps no toolkit.
// A plain C interface: the module and pitchlog share no C++ object layout.
#include <cstddef>

extern "C" {

// Shows `rows` x `cols` pixels of OpenCV type `type`, rows `step` bytes apart,
// in the named window, creating it on first use; the window keeps its own
// copy. 0 when shown, -1 when the window toolkit failed.
int pitchlog_show_image(const char* window, int rows, int cols, int type, const void* pixels,
                        std::size_t step);

// Waits without time limit for a key in one of the shown windows; 0 after a
// key, -1 when the window toolkit failed.
int pitchlog_wait_key();
}

namespace pitchlog {

inline constexpr const char* window_module_file = "pitchlog-windows.so";
inline constexpr const char* show_image_symbol = "pitchlog_show_image";
inline constexpr const char* wait_key_symbol = "pitchlog_wait_key";

}  // namespace pitchlog
