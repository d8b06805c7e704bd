#include "control/capture/video/video_process.h"

#include <stdlib.h>
#ifndef _WIN32
#include <malloc.h>
#endif

#include <cstdlib>

#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>
#ifdef _WIN32
#include <iostream>

#include "control/capture/windows/wide_text.h"
#endif

namespace pitchlog {

void prepare_video_process() {
  cv::setNumThreads(1);
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
#ifdef _WIN32
  if (!std::getenv("OPENCV_FFMPEG_LOGLEVEL")) _putenv_s("OPENCV_FFMPEG_LOGLEVEL", "-8");
  // The reports reach a console window whatever its code page.
  write_console_wide(std::cout);
#else
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
  // Every capture and burst frame is a new picture of the whole frame, freed
  // soon after: kept in the heap instead of being mapped and unmapped each
  // time, they cost no page faults (at 1920 x 1080 a third less CPU time, for
  // a few megabytes more at the peak).
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace pitchlog
