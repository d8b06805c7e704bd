#include "control/capture/shift_jis.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace pitchlog {
namespace {

struct sjis_row {
  char32_t code_point;
  uint16_t sjis;
};

// Every non-ASCII character of pitchlog's texts (report, start-up message and
// data file names), sorted by code point for a binary search.
constexpr sjis_row sjis_table[] = {
    {0x3002, 0x8142},  // 。
    {0x304C, 0x82AA},  // が
    {0x3059, 0x82B7},  // す
    {0x305B, 0x82B9},  // せ
    {0x3061, 0x82BF},  // ち
    {0x3066, 0x82C4},  // て
    {0x306E, 0x82CC},  // の
    {0x3079, 0x82D7},  // べ
    {0x307E, 0x82DC},  // ま
    {0x307F, 0x82DD},  // み
    {0x3081, 0x82DF},  // め
    {0x3093, 0x82F1},  // ん
    {0x30A1, 0x8340},  // ァ
    {0x30A2, 0x8341},  // ア
    {0x30A3, 0x8342},  // ィ
    {0x30A4, 0x8343},  // イ
    {0x30A6, 0x8345},  // ウ
    {0x30A9, 0x8348},  // ォ
    {0x30AA, 0x8349},  // オ
    {0x30AB, 0x834A},  // カ
    {0x30AF, 0x834E},  // ク
    {0x30B0, 0x834F},  // グ
    {0x30B2, 0x8351},  // ゲ
    {0x30B3, 0x8352},  // コ
    {0x30B7, 0x8356},  // シ
    {0x30B9, 0x8358},  // ス
    {0x30BA, 0x8359},  // ズ
    {0x30BB, 0x835A},  // セ
    {0x30BF, 0x835E},  // タ
    {0x30C1, 0x8360},  // チ
    {0x30C3, 0x8362},  // ッ
    {0x30C6, 0x8365},  // テ
    {0x30C8, 0x8367},  // ト
    {0x30C9, 0x8368},  // ド
    {0x30CB, 0x836A},  // ニ
    {0x30D0, 0x836F},  // バ
    {0x30D5, 0x8374},  // フ
    {0x30D6, 0x8375},  // ブ
    {0x30D7, 0x8376},  // プ
    {0x30DC, 0x837B},  // ボ
    {0x30DD, 0x837C},  // ポ
    {0x30E0, 0x8380},  // ム
    {0x30E2, 0x8382},  // モ
    {0x30E5, 0x8385},  // ュ
    {0x30E9, 0x8389},  // ラ
    {0x30EB, 0x838B},  // ル
    {0x30EC, 0x838C},  // レ
    {0x30F3, 0x8393},  // ン
    {0x30FB, 0x8145},  // ・
    {0x30FC, 0x815B},  // ー
    {0x4E00, 0x88EA},  // 一
    {0x4EBA, 0x906C},  // 人
    {0x4F4E, 0x92E1},  // 低
    {0x5148, 0x90E6},  // 先
    {0x521D, 0x8F89},  // 初
    {0x53F3, 0x8945},  // 右
    {0x544A, 0x8D90},  // 告
    {0x5BFE, 0x91CE},  // 対
    {0x5DE6, 0x8DB6},  // 左
    {0x5F85, 0x91D2},  // 待
    {0x5F8C, 0x8CE3},  // 後
    {0x6226, 0x90ED},  // 戦
    {0x624B, 0x8EE8},  // 手
    {0x6295, 0x938A},  // 投
    {0x653B, 0x8D55},  // 攻
    {0x7403, 0x8B85},  // 球
    {0x753B, 0x89E6},  // 画
    {0x76EE, 0x96DA},  // 目
    {0x76F8, 0x918A},  // 相
    {0x8A18, 0x8B4C},  // 記
    {0x8AAD, 0x93C7},  // 読
    {0x8B66, 0x8C78},  // 警
    {0x8FBC, 0x8D9E},  // 込
    {0x90E8, 0x9594},  // 部
    {0x914D, 0x947A},  // 配
    {0x9332, 0x985E},  // 録
    {0x9762, 0x96CA},  // 面
    {0xFF08, 0x8169},  // （
    {0xFF09, 0x816A},  // ）
    {0xFF10, 0x824F},  // ０
    {0xFF11, 0x8250},  // １
    {0xFF12, 0x8251},  // ２
    {0xFF13, 0x8252},  // ３
    {0xFF14, 0x8253},  // ４
    {0xFF15, 0x8254},  // ５
    {0xFF16, 0x8255},  // ６
    {0xFF17, 0x8256},  // ７
    {0xFF18, 0x8257},  // ８
    {0xFF19, 0x8258},  // ９
    {0xFF1A, 0x8146},  // ：
};

static_assert(std::is_sorted(std::begin(sjis_table), std::end(sjis_table),
                             [](const sjis_row& a, const sjis_row& b) {
                               return a.code_point < b.code_point;
                             }));

// Decodes one UTF-8 sequence at `i`, advancing `i` past it. A malformed or
// truncated sequence consumes one byte and yields U+FFFD.
char32_t next_code_point(std::string_view s, size_t& i) {
  constexpr char32_t bad = 0xFFFD;
  const auto lead = static_cast<unsigned char>(s[i++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07;
  } else {
    return bad;
  }
  if (s.size() - i < static_cast<size_t>(extra)) return bad;
  for (int k = 0; k < extra; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return bad;
    cp = (cp << 6) | (c & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are malformed too.
  static constexpr char32_t min_for_length[] = {0, 0x80, 0x800, 0x10000};
  if (cp < min_for_length[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return bad;
  i += extra;
  return cp;
}

}  // namespace

std::string to_shift_jis(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t cp = next_code_point(utf8, i);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    const auto* row =
        std::lower_bound(std::begin(sjis_table), std::end(sjis_table), cp,
                         [](const sjis_row& r, char32_t key) { return r.code_point < key; });
    if (row == std::end(sjis_table) || row->code_point != cp) {
      out.push_back('?');
      continue;
    }
    out.push_back(static_cast<char>(row->sjis >> 8));
    out.push_back(static_cast<char>(row->sjis & 0xFF));
  }
  return out;
}

}  // namespace pitchlog
