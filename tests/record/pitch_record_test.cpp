#include "record/pitch_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace pitchlog;

constexpr team first = team::batting_first;
constexpr team second = team::batting_second;

const team_record& of(const pitch_record& r, team t) {
  return r.teams[static_cast<int>(t)];
}
const pitcher_record& current(const pitch_record& r, team t) {
  return of(r, t).pitchers[of(r, t).pitcher_slot];
}
double count(const pitcher_record& p, situation s, pitch_type t) {
  return p.type_count[static_cast<int>(s)][static_cast<int>(t)];
}

// One analysed pitch as the main loop sends it: counted, then classified.
void pitch(pitch_record& r, team t, pitch_type type, int32_t first_flag = 0, int32_t two = 0) {
  count_pitcher_pitch(r, t, first_flag, two);
  record_pitch(r, t, type, first_flag, two);
}

double after_sum(const pitcher_record& p) {
  double sum = 0;
  for (int s = static_cast<int>(situation::after_straight); s < situation_count; ++s)
    for (double c : p.type_count[s]) sum += c;
  return sum;
}

struct after_case {
  const char* name;
  void (*play)(pitch_record&);
  team t;                 // team whose current pitcher is checked
  situation expected;     // after situation holding the last pitch's curve,
  bool counted_in_after;  // or no after situation at all
};
void PrintTo(const after_case& c, std::ostream* os) {
  *os << c.name;
}

const after_case after_cases[] = {
    {"first_pitch_of_at_bat",
     [](pitch_record& r) {
       pitch(r, second, pitch_type::straight);
       clear_previous_pitch_type(r);
       pitch(r, second, pitch_type::curve, 1, 0);
     },
     second, situation::after_straight, false},
    {"after_own_straight",
     [](pitch_record& r) {
       pitch(r, second, pitch_type::straight);
       pitch(r, second, pitch_type::curve);
     },
     second, situation::after_straight, true},
    {"own_pitcher_change",
     [](pitch_record& r) {
       pitch(r, second, pitch_type::fork);
       advance_pitcher(r, second);
       pitch(r, second, pitch_type::curve);
     },
     second, situation::after_fork, false},
    {"other_team_pitcher_change",
     [](pitch_record& r) {
       pitch(r, second, pitch_type::fork);
       advance_pitcher(r, first);
       pitch(r, second, pitch_type::curve);
     },
     second, situation::after_fork, false},
    {"memory_shared_across_teams",
     [](pitch_record& r) {
       pitch(r, second, pitch_type::shoot);
       pitch(r, first, pitch_type::curve);
     },
     first, situation::after_shoot, true},
};

class after_situation : public testing::TestWithParam<after_case> {};

TEST_P(after_situation, counts_last_pitch_only_where_memory_allows) {
  const after_case& c = GetParam();
  pitch_record r;
  c.play(r);
  const pitcher_record& p = current(r, c.t);
  EXPECT_EQ(count(p, situation::all_pitches, pitch_type::curve), 1.0);
  EXPECT_EQ(after_sum(p), c.counted_in_after ? 1.0 : 0.0);
  EXPECT_EQ(count(p, c.expected, pitch_type::curve), c.counted_in_after ? 1.0 : 0.0);
  EXPECT_EQ(r.previous_pitch_type, pitch_type::curve);
}

INSTANTIATE_TEST_SUITE_P(pitch_record, after_situation, testing::ValuesIn(after_cases),
                         [](const auto& info) { return info.param.name; });

TEST(pitch_record, both_flags_count_in_both_situations) {
  pitch_record r;
  pitch(r, first, pitch_type::fork, 1, 1);
  const pitcher_record& p = current(r, first);
  EXPECT_EQ(p.pitch_count, 1);
  EXPECT_EQ(p.first_pitch_count, 1);
  EXPECT_EQ(p.two_strike_count, 1);
  EXPECT_EQ(count(p, situation::first_pitch, pitch_type::fork), 1.0);
  EXPECT_EQ(count(p, situation::two_strikes, pitch_type::fork), 1.0);
  EXPECT_EQ(of(r, second).pitchers[0].pitch_count, 0);
}

// A long mixed run of both teams, pitcher changes and resets: after every
// pitch the counts agree with their totals for both teams' current pitchers,
// the team that did not pitch included.
TEST(pitch_record, totals_agree_with_counts_through_a_long_run) {
  pitch_record r;
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 16) % n;
  };
  for (int i = 0; i < 2000; ++i) {
    const team t = next(2) ? first : second;
    if (next(40) == 0) advance_pitcher(r, t);
    if (next(500) == 0) reset_pitch_record(r);
    const int32_t first_flag = next(4) == 0, two = next(3) == 0;
    if (first_flag) clear_previous_pitch_type(r);
    mark_has_pitched(r, t);
    pitch(r, t, static_cast<pitch_type>(next(4)), first_flag, two);
    for (team u : {first, second}) {
      const pitcher_record& p = current(r, u);
      double all = 0, firsts = 0, twos = 0;
      for (int k = 0; k < pitch_type_count; ++k) {
        all += p.type_count[0][k], firsts += p.type_count[1][k], twos += p.type_count[2][k];
      }
      ASSERT_EQ(all, p.pitch_count) << "pitch " << i;
      ASSERT_EQ(firsts, p.first_pitch_count) << "pitch " << i;
      ASSERT_EQ(twos, p.two_strike_count) << "pitch " << i;
    }
  }
}

TEST(pitch_record, reset_empties_everything_and_counting_starts_over) {
  pitch_record r;
  for (team t : {first, second}) {
    mark_has_pitched(r, t);
    pitch(r, t, pitch_type::straight, 1, 0);
    advance_pitcher(r, t);
    pitch(r, t, pitch_type::curve, 0, 1);
    pitch(r, t, pitch_type::shoot);
  }
  reset_pitch_record(r);
  EXPECT_FALSE(r.previous_pitch_type.has_value());
  for (const team_record& tr : r.teams) {
    EXPECT_EQ(tr.pitcher_slot, 0);
    EXPECT_EQ(tr.has_pitched, 0);
    for (const pitcher_record& p : tr.pitchers) {
      EXPECT_EQ(p.pitch_count + p.first_pitch_count + p.two_strike_count, 0);
      EXPECT_EQ(after_sum(p), 0.0);
      for (const auto& row : p.type_count)
        for (double c : row) EXPECT_EQ(c, 0.0);
      for (double total : p.after_total) EXPECT_EQ(total, 0.0);
    }
  }
  pitch(r, second, pitch_type::fork);
  EXPECT_EQ(of(r, second).pitchers[0].pitch_count, 1);
  EXPECT_EQ(after_sum(of(r, second).pitchers[0]), 0.0);
}

TEST(pitch_record, sixth_pitcher_counts_into_the_fifth_record) {
  pitch_record r;
  for (int change = 1; change <= 6; ++change) {
    pitch(r, first, pitch_type::straight);
    advance_pitcher(r, first);
    EXPECT_EQ(of(r, first).pitcher_slot, change < 4 ? change : 4);
    EXPECT_FALSE(r.previous_pitch_type.has_value());
  }
  pitch(r, first, pitch_type::curve);
  const team_record& tr = of(r, first);
  EXPECT_EQ(tr.pitchers[3].pitch_count, 1);
  EXPECT_EQ(tr.pitchers[4].pitch_count, 3);  // the fifth, the sixth and the seventh pitcher
  EXPECT_EQ(count(tr.pitchers[4], situation::all_pitches, pitch_type::curve), 1.0);
  EXPECT_EQ(after_sum(tr.pitchers[4]), 0.0);
}

// A slot put out of range from outside is never used as an index.
TEST(pitch_record, slot_out_of_range_counts_nothing) {
  for (int32_t slot : {-1, 5, 1000}) {
    pitch_record r;
    r.teams[0].pitcher_slot = slot;
    pitch(r, first, pitch_type::fork, 1, 1);
    for (const pitcher_record& p : r.teams[0].pitchers) EXPECT_EQ(p.pitch_count, 0);
    EXPECT_EQ(r.previous_pitch_type, pitch_type::fork);
  }
}

}  // namespace
