#pragma once
// Every way a run ends on its own, and the process exit code pitchlog returns
// for each. Other programs that run the watcher map the outcome to codes of
// their own.

namespace pitchlog {

enum class run_outcome {
  picture_refused,   // a start-up picture is missing or cannot be used
  report_file,       // text.txt cannot be opened for writing
  screen_lost,       // the first capture of a locating attempt cannot be loaded
  inspected,         // the burst of an unreadable inning half was shown and a key pressed
  video_ended,       // the video source came to its end, the game found in it
  video_broke_off,   // the video source broke off, stalled or changed its frame size
  game_never_found,  // the video source came to its end without the game found in it
  source_refused,    // the frame source cannot be opened
  pitches_unread,    // a replay went to the video's end past pitches whose inning half it could not
                     // read
};

// pitchlog's exit code: -1 for a refused start-up picture and for a screen
// lost, the end of a watched video counting as a lost screen; 1 for text.txt;
// 0 after the inspection; 2 for a source that cannot be opened.
constexpr int exit_code_of(run_outcome outcome) {
  switch (outcome) {
    case run_outcome::report_file:
      return 1;
    case run_outcome::inspected:
      return 0;
    case run_outcome::source_refused:
      return 2;
    case run_outcome::picture_refused:
    case run_outcome::screen_lost:
    case run_outcome::video_ended:
    case run_outcome::video_broke_off:
    case run_outcome::game_never_found:
    case run_outcome::pitches_unread:
      break;
  }
  return -1;
}

}  // namespace pitchlog
