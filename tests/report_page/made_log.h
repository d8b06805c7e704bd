#pragma once
// Per-pitch logs made through the log's own writer, for pitchlog-report's
// tests: a seeded game of many pitches with both teams, pitcher changes,
// at-bats and tracks of every type.
#include <cstdio>
#include <random>
#include <string>

#include "record/pitch_log.h"

namespace report_test {

inline pitchlog::pitch_log_row made_row(int i, pitchlog::pitch_type type, bool top = true) {
  pitchlog::pitch_log_row row;
  char time[32];
  std::snprintf(time, sizeof time, "0:%02d:%02d.%03d", i / 12 % 60, i * 5 % 60, i * 37 % 1000);
  row.time = time;
  row.pitching = top ? pitchlog::team::batting_second : pitchlog::team::batting_first;
  row.type = type;
  // Straight stays, curve drifts right, fork drops, shoot drifts left.
  const float dx[] = {0.0f, 3.0f, 0.0f, -3.0f}, dy[] = {5.0f, 6.0f, 9.0f, 6.0f};
  for (int p = 0; p < pitchlog::pitch_log_points; ++p)
    row.track[p] = {350.5f + dx[static_cast<int>(type)] * p,
                    20.5f + dy[static_cast<int>(type)] * p};
  return row;
}

// The header and `pitches` rows of one game.
inline std::string made_log(int pitches, unsigned seed = 5) {
  std::mt19937 random(seed);
  std::string log = std::string(pitchlog::pitch_log_header) + "\n";
  bool top = true;
  int half_left = 0, at_bat_left = 0, slot[2] = {0, 0}, pitched[2] = {0, 0};
  for (int i = 0; i < pitches; ++i) {
    if (half_left-- == 0) {
      top = i == 0 || !top;
      half_left = 8 + static_cast<int>(random() % 10);
      at_bat_left = 0;
    }
    const int t = top ? 1 : 0;
    if (++pitched[t] % 45 == 0 && slot[t] < 4) ++slot[t];
    pitchlog::pitch_log_row row =
        made_row(i, static_cast<pitchlog::pitch_type>(random() % pitchlog::pitch_type_count), top);
    row.pitcher_slot = slot[t];
    row.hand = slot[t] % 2 == 0 ? pitchlog::pitcher_hand::right : pitchlog::pitcher_hand::left;
    row.first_pitch_flag = at_bat_left-- == 0;
    if (row.first_pitch_flag) at_bat_left = static_cast<int>(random() % 6);
    row.two_strike_flag = !row.first_pitch_flag && random() % 3 == 0;
    log += pitchlog::pitch_log_line("2026-12-08 21:00:00.000", row, 1) + "\n";
  }
  return log;
}

}  // namespace report_test
