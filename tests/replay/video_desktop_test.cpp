// A recording as the desktop: a decoded frame of another size than the
// video's (recordings joined into one file) never becomes the picture a grab
// describes, whose rows the capture file is written from.
#include "control/capture/video/video_desktop.h"

#include <gtest/gtest.h>

#include <string>

#include <opencv2/videoio.hpp>

#include "support/test_support.h"

namespace {

using namespace pitchlog;

TEST(video_desktop, a_frame_of_another_size_is_never_shown) {
  test_support::scoped_work_dir dir;
  {
    cv::VideoWriter out("game.avi", cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                        30.0, {64, 48});
    ASSERT_TRUE(out.isOpened());
    for (int i = 0; i < 10; ++i) out.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(20 * i, 90, 40)));
  }
  video_desktop v;
  std::string error;
  ASSERT_TRUE(open_video_desktop(v, "game.avi", error)) << error;
  screen_grab grab;
  ASSERT_TRUE(grab_video(v, grab));
  const cv::Mat first = v.shown;
  ASSERT_EQ(first.size(), cv::Size(64, 48));

  // Debian's OpenCV hands every frame over at the stream's first size; others
  // hand over a joined recording's second part at its own.
  v.pending_us = 40'000;
  EXPECT_FALSE(show_frame(v, cv::Mat(32, 48, CV_8UC3)));
  EXPECT_EQ(v.resized_to, cv::Size(48, 32));
  EXPECT_EQ(v.resized_at_us, 40'000);
  EXPECT_EQ(v.shown.data, first.data);  // what the next grab describes, at 64 x 48
}

}  // namespace
