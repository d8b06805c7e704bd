#pragma once
// A live video as pitchlog's frame source: a capture device (/dev/videoN on
// Linux) or a stream FFmpeg reads (udp://127.0.0.1:PORT, srt://...), watched
// in real time.
#include <iosfwd>
#include <string>

#include "control/capture/frame_source.h"

namespace pitchlog {

// The source of `pitchlog --video SOURCE`, reporting on `error` (which must
// outlive it). Each capture takes the newest frame (those that arrived while
// the analysis ran are dropped, never queued), waiting only for one newer than
// the last capture's; the pause sleeps. A source that stalls or ends says so
// in one line on `error` and gives no more frames: the run ends as when the
// screen is lost.
frame_source live_video_source(const std::string& address, std::ostream& error);

}  // namespace pitchlog
