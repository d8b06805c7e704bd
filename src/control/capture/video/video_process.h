#pragma once
// What a process that decodes video sets up once, before it opens any.

namespace pitchlog {

// OpenCV on this thread alone and silent, FFmpeg silent unless
// OPENCV_FFMPEG_LOGLEVEL asks otherwise: standard error carries the progress
// and the one-line reasons. On Linux, large pictures are kept in the heap; on
// Windows, standard output reaches a console window as Unicode text.
void prepare_video_process();

}  // namespace pitchlog
