#pragma once
// The locator's coarse search with what one locating stage's attempts learn
// from each other. A correlation window's score depends only on the pixels
// under it, so a half-size picture equal to the last one has the last answer,
// and after a change only the windows that overlap the change can score anew.
// Whatever the path, the answer is the one a full search of the picture gives:
// a hit above the coarse threshold at the full search's best position, or a miss.
#include <opencv2/core/mat.hpp>

namespace pitchlog {

struct coarse_answer {
  bool hit = false;
  cv::Point location;  // the best position of the full search (read only for a hit)
};

// How an answer was reached.
enum class coarse_path {
  full_search,      // the whole picture matched
  same_picture,     // the picture equals the last one: the last answer
  changed_windows,  // the windows over the change matched anew; no window can hit
};

// What the coarse search keeps from the last attempt of one locating stage.
struct coarse_memory {
  cv::Mat picture;       // the half-size picture last searched
  coarse_answer answer;  // the answer for it
  // Per correlation window, the last computed score and the window's spread
  // (the normalising denominator of its score; 0 for a window of one colour,
  // which scores exactly 0 however it is computed). Empty: nothing to update.
  cv::Mat scores;   // CV_32F
  cv::Mat spreads;  // CV_32F
  // The largest root mean square pixel value of the pictures the held scores
  // were computed on: their rounding errors grow with it.
  double picture_rms = 0.0;
  double template_sum = 0.0;  // sum of all the template's samples
};

// The coarse answer for `picture` (the half-size desktop) and `templ`, from
// `memory` where the picture lets it, then kept in `memory` for the next
// attempt. `path`, when given, tells how the answer was reached.
coarse_answer coarse_search_reusing(const cv::Mat& picture, const cv::Mat& templ,
                                    coarse_memory& memory, coarse_path* path = nullptr);

// The coarse answer by a full search alone.
coarse_answer full_coarse_search(const cv::Mat& picture, const cv::Mat& templ);

// The smallest rectangle holding every pixel in which `a` and `b` differ
// (pictures of one size and type); empty when they are equal.
cv::Rect changed_area(const cv::Mat& a, const cv::Mat& b);

// The spread of every correlation window in `windows` (positions of the
// template's corner in `picture`, 8-bit, three channels), exactly as the
// matcher normalises: sqrt(window variance sum * template variance sum) over
// the three channels, 0 for a window of one colour. CV_32F, windows.size().
cv::Mat window_spreads(const cv::Mat& picture, const cv::Rect& windows, const cv::Mat& templ);

}  // namespace pitchlog
