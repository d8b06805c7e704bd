#pragma once
// Dragging rectangles on a picture: the game picture on the versus shot, and
// the cuts one by one. The windows are the program's own (pick_windows.cpp,
// linked into pitchlog-pictures alone), so the library and its tests map no
// window toolkit.
#include <functional>
#include <optional>
#include <string>

#include <opencv2/core/mat.hpp>

namespace pitchlog {

// Shows `picture` under `title` and lets the user drag a rectangle on it: the
// rectangle in the picture's pixels, none when cancelled or empty. An empty
// function where no windows can be shown.
using rectangle_drag =
    std::function<std::optional<cv::Rect>(const std::string& title, const cv::Mat& picture)>;

// The drag in OpenCV's windows (Enter or Space accepts, c cancels); empty
// without a display.
rectangle_drag window_drag();

}  // namespace pitchlog
