// capture-once.exe: pitchlog's Windows capture path run once, for the Wine test.
// Grabs the desktop through capture_screen into "capture.bmp" in the working
// folder, then writes to standard output, as raw bytes (no CR added):
//   the start-up message, one report line, and data_path("低め.png"), each
//   followed by "\n", in the console's and the file API's encodings.
// Exit code 0 when the grab worked, 1 when it did not.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "control/capture/console_text.h"
#include "control/capture/data_path.h"
#include "control/capture/screen_capture.h"
#include "control/capture/windows/gdi_grab.h"

namespace {

void put(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);

  pitchlog::platform p;
  pitchlog::fill_windows_platform(p, std::cerr);
  bool grabbed = false;
  const auto gdi_grab = p.source.grab;
  p.source.grab = [&](pitchlog::screen_grab& grab) { return grabbed = gdi_grab(grab); };
  pitchlog::capture_screen(p);

  put(pitchlog::console_text("ファイルが読み込めません。\n"));
  put(pitchlog::console_text("ストレート：40%,カーブ：20%,フォーク：20%,シュート：20%") + "\n");
  put(pitchlog::data_path("低め.png") + "\n");
  std::fflush(stdout);
  return grabbed ? 0 : 1;
}
