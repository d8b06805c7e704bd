#include "record/pitch_record.h"

#include <gtest/gtest.h>

TEST(pitch_record, starts_empty) {
  pitchlog::pitch_record record;
  EXPECT_EQ(record.teams[0].pitcher_slot, 0);
  EXPECT_FALSE(record.previous_pitch_type.has_value());
}
