#pragma once
// Dragging rectangles on a picture in a window: the game picture on the
// versus shot, and the cuts one by one.
#include <optional>
#include <string>

#include <opencv2/core/mat.hpp>

namespace pitchlog {

// Whether windows can be shown: a display is named.
bool windows_available();

// Shows `picture` in a window titled `title` and lets the user drag a
// rectangle on it (Enter or Space accepts, c cancels). The rectangle in the
// picture's pixels; none when cancelled or empty.
std::optional<cv::Rect> drag_rectangle(const std::string& title, const cv::Mat& picture);

}  // namespace pitchlog
