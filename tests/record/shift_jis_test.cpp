#include "control/capture/shift_jis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/templates/template_store.h"
#include "record/iconv_cp932.h"

namespace {

using pitchlog::to_shift_jis;

// Every non-ASCII text pitchlog writes: report literals, the start-up message
// and the names of the reference pictures it opens.
std::vector<std::string> program_texts() {
  std::vector<std::string> texts = {
      "[後攻チームの投手の配球記録]",
      "[先攻チームの投手の配球記録]",
      "[１人目の投手]",
      "[２人目の投手]",
      "[３人目の投手]",
      "[４人目の投手]",
      "[５人目の投手]",
      "[すべて]",
      "[初球]",
      "[２ストライク後]",
      "[ストレートの後]",
      "[カーブの後]",
      "[フォークの後]",
      "[シュートの後]",
      "ストレート：",
      "%,カーブ：",
      "%,フォーク：",
      "%,シュート：",
      "%",
      "ファイルが読み込めません。\n",
      "data\\０ボール０ストライク.png",
      "０１２３４５６７８９",
  };
  for (std::string_view name : pitchlog::template_file_names) texts.emplace_back(name);
  return texts;
}

TEST(shift_jis, matches_system_converter_on_every_program_text) {
  for (const std::string& text : program_texts())
    EXPECT_EQ(to_shift_jis(text), test_support::iconv_cp932(text)) << text;
}

struct odd_input {
  const char* name;
  std::string utf8;
  std::string expected;
};
void PrintTo(const odd_input& c, std::ostream* os) {
  *os << c.name;
}

class shift_jis_odd : public testing::TestWithParam<odd_input> {};

TEST_P(shift_jis_odd, never_emits_a_broken_sequence) {
  EXPECT_EQ(to_shift_jis(GetParam().utf8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(shift_jis, shift_jis_odd,
                         testing::Values(odd_input{"empty", "", ""},
                                         odd_input{"ascii_with_nul", std::string("a\\b\0c\n", 6),
                                                   std::string("a\\b\0c\n", 6)},
                                         odd_input{"unknown_kanji", "x漢y", "x?y"},
                                         odd_input{"four_byte", "\xF0\x9F\x98\x80!", "?!"},
                                         odd_input{"stray_continuation",
                                                   "\x80"
                                                   "a",
                                                   "?a"},
                                         odd_input{"truncated_at_end", "a\xE3\x81", "a??"},
                                         odd_input{"overlong_slash", "\xC0\xAF", "??"},
                                         odd_input{"surrogate", "\xED\xA0\x80", "???"},
                                         odd_input{"invalid_lead", "\xFF\xFE", "??"},
                                         odd_input{"known_after_bad",
                                                   "\xFF"
                                                   "。",
                                                   "?\x81\x42"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
