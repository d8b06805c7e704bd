#include "practice/scenario.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace practice {

namespace {

using json = nlohmann::ordered_json;

// ---------------------------------------------------------------- names

struct screen_row {
  game_screen screen;
  const char* name;
};

constexpr screen_row screen_names[] = {
    {game_screen::title, "title"},
    {game_screen::warning, "warning"},
    {game_screen::play_ball, "play_ball"},
    {game_screen::versus, "versus"},
    {game_screen::field, "field"},
    {game_screen::time_out, "time_out"},
    {game_screen::scoreboard, "scoreboard"},
    {game_screen::opponent_time_out_wait, "opponent_time_out_wait"},
    {game_screen::game_set, "game_set"},
    {game_screen::cut_in, "cut_in"},
};
constexpr const char* absent_name = "absent";

constexpr const char* type_names[] = {"straight", "curve", "fork", "shoot"};

struct pattern_row {
  background_pattern pattern;
  const char* name;
};

constexpr pattern_row pattern_names[] = {
    {background_pattern::plain, "plain"},
    {background_pattern::gradient, "gradient"},
    {background_pattern::checker, "checker"},
};

const char* half_name(half h) {
  return h == half::top ? "top" : "bottom";
}
const char* hand_name(hand h) {
  return h == hand::right ? "right" : "left";
}

// ---------------------------------------------------------------- derived facts

uint64_t mixed_seed(uint64_t seed, uint64_t index) {
  seeded_random r{seed ^ (index * 0xD1B54A32D192ED03ull)};
  return next_random(r);
}

// The team that pitches in a half: "top" means the team batting second.
const char* pitching_team(half h) {
  return h == half::top ? "batting_second" : "batting_first";
}

// ---------------------------------------------------------------- JSON reading

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

void check_keys(const json& object, const std::string& where,
                std::initializer_list<std::string_view> allowed) {
  if (!object.is_object()) fail(where, "expected an object");
  for (const auto& item : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), item.key()) == allowed.end())
      fail(where, "unknown key \"" + item.key() + "\"");
  }
}

int read_int(const json& object, const char* key, const std::string& where, int fallback,
             int64_t lo, int64_t hi) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_number_integer()) fail(where, std::string("\"") + key + "\" must be a whole number");
  const int64_t v = it->get<int64_t>();
  if (v < lo || v > hi)
    fail(where, std::string("\"") + key + "\" must lie in " + std::to_string(lo) + ".." +
                    std::to_string(hi));
  return static_cast<int>(v);
}

float read_float(const json& object, const char* key, const std::string& where, float fallback,
                 double lo, double hi) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_number()) fail(where, std::string("\"") + key + "\" must be a number");
  const double v = it->get<double>();
  if (!(v >= lo && v <= hi))
    fail(where, std::string("\"") + key + "\" must lie in " + std::to_string(lo) + ".." +
                    std::to_string(hi));
  return static_cast<float>(v);
}

bool read_bool(const json& object, const char* key, const std::string& where, bool fallback) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_boolean()) fail(where, std::string("\"") + key + "\" must be true or false");
  return it->get<bool>();
}

std::string read_string(const json& object, const char* key, const std::string& where) {
  const auto& v = object.at(key);
  if (!v.is_string()) fail(where, std::string("\"") + key + "\" must be a string");
  return v.get<std::string>();
}

game_screen parse_screen(const std::string& name, const std::string& where) {
  for (const screen_row& row : screen_names)
    if (name == row.name) return row.screen;
  fail(where, "unknown screen \"" + name + "\"");
}

pitchlog::pitch_type parse_type(const std::string& name, const std::string& where) {
  for (int i = 0; i < pitchlog::pitch_type_count; ++i)
    if (name == type_names[i]) return static_cast<pitchlog::pitch_type>(i);
  fail(where, "unknown pitch type \"" + name + "\"");
}

// Pitcher names are drawn with the game's plain font: printable ASCII, short.
constexpr std::size_t max_name_length = 12;

void read_state(const json& o, const std::string& where, step& s) {
  s.inning = read_int(o, "inning", where, s.inning, 1, 99);
  if (o.contains("half")) {
    const std::string h = read_string(o, "half", where);
    if (h != "top" && h != "bottom") fail(where, "\"half\" must be \"top\" or \"bottom\"");
    s.inning_half = h == "top" ? half::top : half::bottom;
  }
  s.outs = read_int(o, "outs", where, s.outs, 0, 3);
  s.balls = read_int(o, "balls", where, s.balls, 0, 3);
  s.strikes = read_int(o, "strikes", where, s.strikes, 0, 2);
  if (o.contains("pitcher")) {
    s.pitcher = read_string(o, "pitcher", where);
    const bool printable = std::all_of(s.pitcher.begin(), s.pitcher.end(),
                                       [](char c) { return c >= 0x20 && c < 0x7F; });
    if (s.pitcher.empty() || s.pitcher.size() > max_name_length || !printable)
      fail(where, "\"pitcher\" must be 1 to 12 printable ASCII characters");
  }
  if (o.contains("hand")) {
    const std::string h = read_string(o, "hand", where);
    if (h != "right" && h != "left") fail(where, "\"hand\" must be \"right\" or \"left\"");
    s.pitcher_hand = h == "right" ? hand::right : hand::left;
  }
}

constexpr int max_step_ms = 24 * 60 * 60 * 1000;
constexpr int max_coordinate = 100000;

flight read_flight(const json& o, const std::string& where, flight f) {
  check_keys(o, where, {"x", "y", "break_x", "break_y", "r0", "r1", "ms"});
  f.start_x = read_float(o, "x", where, f.start_x, -max_coordinate, max_coordinate);
  f.start_y = read_float(o, "y", where, f.start_y, -max_coordinate, max_coordinate);
  f.break_x = read_float(o, "break_x", where, f.break_x, -max_coordinate, max_coordinate);
  f.break_y = read_float(o, "break_y", where, f.break_y, 0, max_coordinate);
  f.start_radius = read_float(o, "r0", where, f.start_radius, 1, 40);
  f.end_radius = read_float(o, "r1", where, f.end_radius, 1, 40);
  f.duration_ms = read_int(o, "ms", where, f.duration_ms, 1, 60000);
  return f;
}

void read_pitch(const json& o, const std::string& where, uint64_t seed, int index, step& s) {
  check_keys(o, where,
             {"pitch", "inning", "half", "outs", "balls", "strikes", "pitcher", "hand", "flight",
              "ball", "hide_ms", "markers", "noise", "inning_sign", "hand_sign", "set_ms",
              "take_back_ms", "finish_ms", "after_ms"});
  s.kind = step_kind::pitch;
  s.screen = game_screen::versus;
  read_state(o, where, s);
  pitch_plan& p = s.pitch;
  p = pitch_plan{};
  p.type = parse_type(read_string(o, "pitch", where), where);
  const flight made = make_flight(p.type, s.pitcher_hand, mixed_seed(seed, index));
  p.path = o.contains("flight") ? read_flight(o.at("flight"), where + " flight", made) : made;
  p.ball = read_bool(o, "ball", where, true);
  if (o.contains("hide_ms")) {
    const json& h = o.at("hide_ms");
    if (!h.is_array() || h.size() != 2 || !h[0].is_number_integer() || !h[1].is_number_integer() ||
        h[0].get<int64_t>() < 0 || h[1].get<int64_t>() < h[0].get<int64_t>() ||
        h[1].get<int64_t>() > 60000)
      fail(where, "\"hide_ms\" must be [from, to] with 0 <= from <= to <= 60000");
    p.hide_from_ms = h[0].get<int>();
    p.hide_to_ms = h[1].get<int>();
  }
  p.markers = read_bool(o, "markers", where, false);
  p.noise = read_int(o, "noise", where, 0, 0, 64);
  p.inning_sign = read_bool(o, "inning_sign", where, true);
  p.hand_sign = read_bool(o, "hand_sign", where, true);
  p.set_ms = read_int(o, "set_ms", where, default_set_ms, 0, 60000);
  p.take_back_ms = read_int(o, "take_back_ms", where, default_take_back_ms, 0, 60000);
  p.finish_ms = read_int(o, "finish_ms", where, default_finish_ms, 0, 60000);
  p.after_ms = read_int(o, "after_ms", where, default_after_ms, 0, 60000);
}

scenario read_scenario(const json& doc) {
  check_keys(doc, "scenario", {"desktop", "seed", "timeline"});
  scenario s;
  if (doc.contains("seed")) {
    if (!doc.at("seed").is_number_unsigned())
      fail("scenario", "\"seed\" must be a whole number >= 0");
    s.seed = doc.at("seed").get<uint64_t>();
  }
  if (doc.contains("desktop")) {
    const json& d = doc.at("desktop");
    const std::string where = "desktop";
    check_keys(d, where, {"width", "height", "game_x", "game_y", "background", "pattern"});
    desktop_layout& l = s.desktop;
    l.width = read_int(d, "width", where, l.width, 1, 16384);
    l.height = read_int(d, "height", where, l.height, 1, 16384);
    l.game_x = read_int(d, "game_x", where, l.game_x, -max_coordinate, max_coordinate);
    l.game_y = read_int(d, "game_y", where, l.game_y, -max_coordinate, max_coordinate);
    if (d.contains("background")) {
      const json& b = d.at("background");
      if (!b.is_array() || b.size() != 3) fail(where, "\"background\" must be [blue, green, red]");
      for (int i = 0; i < 3; ++i) {
        if (!b[i].is_number_integer() || b[i].get<int64_t>() < 0 || b[i].get<int64_t>() > 255)
          fail(where, "\"background\" values must lie in 0..255");
        l.background[i] = static_cast<uint8_t>(b[i].get<int>());
      }
    }
    if (d.contains("pattern")) {
      const std::string name = read_string(d, "pattern", where);
      const auto row = std::find_if(std::begin(pattern_names), std::end(pattern_names),
                                    [&](const pattern_row& r) { return name == r.name; });
      if (row == std::end(pattern_names)) fail(where, "unknown pattern \"" + name + "\"");
      l.pattern = row->pattern;
    }
  }
  if (!doc.contains("timeline") || !doc.at("timeline").is_array())
    fail("scenario", "\"timeline\" must be a list of steps");
  step state;  // the match state carries over from step to step
  for (const json& o : doc.at("timeline")) {
    const int index = static_cast<int>(s.steps.size());
    const std::string where = "timeline step " + std::to_string(index + 1);
    if (!o.is_object()) fail(where, "expected an object");
    step next = state;
    next.pitch = pitch_plan{};
    if (o.contains("pitch")) {
      read_pitch(o, where, s.seed, index, next);
    } else if (o.contains("screen")) {
      check_keys(o, where,
                 {"screen", "ms", "inning", "half", "outs", "balls", "strikes", "pitcher", "hand"});
      const std::string name = read_string(o, "screen", where);
      next.kind = name == absent_name ? step_kind::absent : step_kind::screen;
      if (next.kind == step_kind::screen) next.screen = parse_screen(name, where);
      if (!o.contains("ms")) fail(where, "a screen needs \"ms\"");
      next.duration_ms = read_int(o, "ms", where, 0, 0, max_step_ms);
      read_state(o, where, next);
    } else {
      fail(where, "a step needs \"screen\" or \"pitch\"");
    }
    s.steps.push_back(next);
    state = next;
  }
  finish_scenario(s);
  return s;
}

// ---------------------------------------------------------------- JSON writing

json flight_json(const flight& f) {
  return json{{"x", f.start_x},       {"y", f.start_y},       {"break_x", f.break_x},
              {"break_y", f.break_y}, {"r0", f.start_radius}, {"r1", f.end_radius},
              {"ms", f.duration_ms}};
}

json step_json(const step& s) {
  json o;
  if (s.kind == step_kind::pitch) {
    o["pitch"] = type_names[static_cast<int>(s.pitch.type)];
  } else {
    o["screen"] = s.kind == step_kind::absent ? absent_name : screen_name(s.screen);
    o["ms"] = s.duration_ms;
  }
  o["inning"] = s.inning;
  o["half"] = half_name(s.inning_half);
  o["outs"] = s.outs;
  o["balls"] = s.balls;
  o["strikes"] = s.strikes;
  o["pitcher"] = s.pitcher;
  o["hand"] = hand_name(s.pitcher_hand);
  if (s.kind != step_kind::pitch) return o;
  // Pitch options are written only where they differ from a plain pitch.
  const pitch_plan& p = s.pitch;
  const pitch_plan plain;
  o["flight"] = flight_json(p.path);
  if (p.ball != plain.ball) o["ball"] = p.ball;
  if (p.hide_from_ms >= 0) o["hide_ms"] = json::array({p.hide_from_ms, p.hide_to_ms});
  if (p.markers != plain.markers) o["markers"] = p.markers;
  if (p.noise != plain.noise) o["noise"] = p.noise;
  if (p.inning_sign != plain.inning_sign) o["inning_sign"] = p.inning_sign;
  if (p.hand_sign != plain.hand_sign) o["hand_sign"] = p.hand_sign;
  if (p.set_ms != plain.set_ms) o["set_ms"] = p.set_ms;
  if (p.take_back_ms != plain.take_back_ms) o["take_back_ms"] = p.take_back_ms;
  if (p.finish_ms != plain.finish_ms) o["finish_ms"] = p.finish_ms;
  if (p.after_ms != plain.after_ms) o["after_ms"] = p.after_ms;
  return o;
}

// ---------------------------------------------------------------- generator tables

// Invented surnames, short enough for the name panel.
constexpr const char* pitcher_names[] = {
    "AKAGI", "BESSHO", "CHIKUMA", "DOMOTO", "EBINA",  "FUJIO",  "GOTO",  "HAYAMA",
    "IBUKI", "JINNO",  "KAZAMA",  "MORIYA", "NOGAMI", "OSHIRO", "SAIKI", "TOGASHI",
};
constexpr int staff_size = 5;  // pitchlog keeps five pitchers per team

// Each pitcher mixes the four types by one of these weights (straight, curve,
// fork, shoot); with two strikes the fork gets the extra weight.
constexpr int repertoires[][pitchlog::pitch_type_count] = {
    {50, 25, 15, 10},
    {45, 10, 30, 15},
    {50, 15, 10, 25},
    {40, 20, 20, 20},
};
constexpr int two_strike_fork_bonus = 15;
constexpr int left_hander_percent = 30;

// What happens to a pitch, in percent of all pitches; a ball in play is an out
// `in_play_out_percent` of the time, else a hit.
struct outcome_row {
  enum kind { ball, strike, foul, in_play } what;
  int percent;
};
constexpr outcome_row outcomes[] = {
    {outcome_row::ball, 36},
    {outcome_row::strike, 24},
    {outcome_row::foul, 20},
    {outcome_row::in_play, 20},
};
constexpr int in_play_out_percent = 68;

// Interludes (ms) and how often the occasional ones come.
constexpr int warning_ms = 1500;
constexpr int title_ms = 2000;
constexpr int play_ball_ms = 2500;
constexpr int half_scoreboard_ms = 1500;
constexpr int half_field_ms = 800;
constexpr int change_time_out_ms = 1500;
constexpr int change_field_ms = 800;
constexpr int at_bat_end_field_min_ms = 1200, at_bat_end_field_max_ms = 2000;
constexpr int opponent_wait_ms = 1500;
constexpr int opponent_wait_percent = 3;                 // before an at-bat
constexpr int cut_in_min_ms = 400, cut_in_max_ms = 900;  // well under 20 captures
constexpr int cut_in_percent = 25;                       // after a strikeout or a hit
constexpr int mid_pitch_cut_in_percent = 2;              // between two pitches of an at-bat
constexpr int game_set_ms = 3000;

struct staff_pitcher {
  std::string name;
  hand pitcher_hand = hand::right;
  int repertoire = 0;
};

// A pitcher change: in this inning, before this at-bat of the team's half.
struct change_plan {
  int inning = 0;
  int before_at_bat = 0;
};

pitchlog::pitch_type choose_type(seeded_random& r, const staff_pitcher& p, int strikes) {
  int weights[pitchlog::pitch_type_count];
  int total = 0;
  for (int t = 0; t < pitchlog::pitch_type_count; ++t) {
    weights[t] = repertoires[p.repertoire][t];
    if (t == static_cast<int>(pitchlog::pitch_type::fork) && strikes == 2)
      weights[t] += two_strike_fork_bonus;
    total += weights[t];
  }
  int x = random_between(r, 0, total - 1);
  for (int t = 0; t < pitchlog::pitch_type_count; ++t) {
    if (x < weights[t]) return static_cast<pitchlog::pitch_type>(t);
    x -= weights[t];
  }
  return pitchlog::pitch_type::straight;
}

outcome_row::kind choose_outcome(seeded_random& r) {
  int x = random_between(r, 0, 99);
  for (const outcome_row& row : outcomes) {
    if (x < row.percent) return row.what;
    x -= row.percent;
  }
  return outcome_row::in_play;
}

// The innings in which a team brings in a new pitcher: the starter goes about
// five to seven ninths of the game, then one or two relievers.
std::vector<change_plan> plan_changes(seeded_random& r, int innings) {
  std::vector<change_plan> plan;
  const int changes = innings >= 6   ? random_between(r, 1, 3)
                      : innings >= 3 ? random_between(r, 1, 2)
                                     : 1;
  int inning = random_between(r, std::max(1, innings * 5 / 9), std::max(1, innings * 7 / 9));
  for (int c = 0; c < changes && inning <= innings; ++c) {
    change_plan change;
    change.inning = inning;
    // In the first inning the starter faces at least one batter.
    change.before_at_bat = inning == 1                     ? random_between(r, 1, 2)
                           : random_between(r, 0, 99) < 60 ? 0
                                                           : random_between(r, 1, 2);
    plan.push_back(change);
    if (inning == innings) break;
    inning = random_between(r, inning + 1, innings);
  }
  return plan;
}

}  // namespace

// ---------------------------------------------------------------- public

const char* screen_name(game_screen screen) {
  for (const screen_row& row : screen_names)
    if (row.screen == screen) return row.name;
  return "unknown";
}

const char* type_name(pitchlog::pitch_type type) {
  return type_names[static_cast<int>(type)];
}

int step_length_ms(const step& s) {
  if (s.kind != step_kind::pitch) return s.duration_ms;
  const pitch_plan& p = s.pitch;
  return p.set_ms + p.take_back_ms + p.finish_ms + p.after_ms;
}

void finish_scenario(scenario& s) {
  s.starts.resize(s.steps.size());
  s.next_pitch.assign(s.steps.size(), -1);
  int64_t t = 0;
  for (std::size_t i = 0; i < s.steps.size(); ++i) {
    s.starts[i] = t;
    t += step_length_ms(s.steps[i]);
  }
  s.end_ms = t;
  int next = -1;
  for (std::size_t i = s.steps.size(); i-- > 0;) {
    s.next_pitch[i] = next;
    if (s.steps[i].kind == step_kind::pitch) next = static_cast<int>(i);
  }
}

std::optional<game_view> view_at(const scenario& s, int64_t time_ms) {
  if (time_ms < 0 || time_ms >= s.end_ms || s.starts.size() != s.steps.size()) return {};
  const auto at = std::upper_bound(s.starts.begin(), s.starts.end(), time_ms);
  const std::size_t index = static_cast<std::size_t>(at - s.starts.begin()) - 1;
  const step& st = s.steps[index];
  if (st.kind == step_kind::absent) return {};

  game_view v;
  v.screen = st.kind == step_kind::pitch ? game_screen::versus : st.screen;
  v.balls = st.balls;
  v.strikes = st.strikes;
  v.outs = st.outs;
  v.inning = st.inning;
  v.inning_half = st.inning_half;
  v.pitcher_name = st.pitcher;
  v.pitcher_hand = st.pitcher_hand;
  v.pitcher_pose = pose::set;
  if (st.kind != step_kind::pitch) return v;

  const pitch_plan& p = st.pitch;
  const int64_t local = time_ms - s.starts[index];
  const int64_t release = p.set_ms + p.take_back_ms;
  if (local >= p.set_ms && local < release) v.pitcher_pose = pose::take_back;
  if (local >= release && local < release + p.finish_ms) v.pitcher_pose = pose::finish;
  if (local >= release + p.finish_ms) {
    // Once the finish pose has gone the panel shows the count of the next pitch.
    const int next = s.next_pitch[index];
    v.balls = next >= 0 ? s.steps[next].balls : 0;
    v.strikes = next >= 0 ? s.steps[next].strikes : 0;
    if (next >= 0 && s.steps[next].inning == st.inning &&
        s.steps[next].inning_half == st.inning_half)
      v.outs = s.steps[next].outs;
  }
  const int64_t flown = local - release;
  const bool hidden = flown >= p.hide_from_ms && flown < p.hide_to_ms;
  if (p.ball && flown >= 0 && flown < p.path.duration_ms && !hidden)
    v.ball = ball_at(p.path, static_cast<int>(flown));
  v.ignored_point_markers = p.markers;
  v.show_inning_sign = p.inning_sign;
  v.show_hand_sign = p.hand_sign;
  v.noise_amplitude = p.noise;
  v.noise_seed = static_cast<uint32_t>(mixed_seed(s.seed, index));
  return v;
}

std::vector<truth_pitch> truth_of(const scenario& s) {
  std::vector<truth_pitch> out;
  std::vector<std::string> staffs[2];  // in order of first appearance, by pitching half
  for (std::size_t i = 0; i < s.steps.size() && i < s.starts.size(); ++i) {
    const step& st = s.steps[i];
    if (st.kind != step_kind::pitch) continue;
    std::vector<std::string>& staff = staffs[st.inning_half == half::top ? 0 : 1];
    auto slot = std::find(staff.begin(), staff.end(), st.pitcher);
    if (slot == staff.end()) slot = staff.insert(staff.end(), st.pitcher);
    truth_pitch t;
    t.n = static_cast<int>(out.size()) + 1;
    t.time_ms = s.starts[i] + st.pitch.set_ms + st.pitch.take_back_ms;
    t.inning_half = st.inning_half;
    t.pitcher_slot = static_cast<int>(slot - staff.begin());
    t.pitcher = st.pitcher;
    t.pitcher_hand = st.pitcher_hand;
    t.type = st.pitch.type;
    t.balls = st.balls;
    t.strikes = st.strikes;
    out.push_back(t);
  }
  return out;
}

std::string truth_line(const truth_pitch& p) {
  const json line = {{"n", p.n},
                     {"time_ms", p.time_ms},
                     {"half", half_name(p.inning_half)},
                     {"team", pitching_team(p.inning_half)},
                     {"pitcher_slot", p.pitcher_slot},
                     {"pitcher", p.pitcher},
                     {"hand", hand_name(p.pitcher_hand)},
                     {"type", type_name(p.type)},
                     {"balls", p.balls},
                     {"strikes", p.strikes}};
  return line.dump();
}

void write_truth(std::ostream& out, const std::vector<truth_pitch>& pitches) {
  for (const truth_pitch& p : pitches) out << truth_line(p) << '\n' << std::flush;
}

std::optional<scenario> parse_scenario(std::string_view json_text, std::string& error) {
  try {
    return read_scenario(json::parse(json_text));
  } catch (const std::exception& e) {
    error = e.what();
    return {};
  }
}

std::optional<scenario> load_scenario(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return {};
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<scenario> s = parse_scenario(text.str(), error);
  if (!s) error = path + ": " + error;
  return s;
}

std::string scenario_json(const scenario& s) {
  const desktop_layout& l = s.desktop;
  const char* pattern = "plain";
  for (const pattern_row& row : pattern_names)
    if (row.pattern == l.pattern) pattern = row.name;
  const json desktop = {
      {"width", l.width},
      {"height", l.height},
      {"game_x", l.game_x},
      {"game_y", l.game_y},
      {"background", json::array({l.background[0], l.background[1], l.background[2]})},
      {"pattern", pattern}};
  // One step per line, so that a written game reads (and diffs) step by step.
  std::string text = "{\n \"desktop\": " + desktop.dump() +
                     ",\n \"seed\": " + std::to_string(s.seed) + ",\n \"timeline\": [";
  for (std::size_t i = 0; i < s.steps.size(); ++i)
    text += (i ? ",\n  " : "\n  ") + step_json(s.steps[i]).dump();
  text += "\n ]\n}\n";
  return text;
}

scenario generate_scenario(uint64_t seed, int innings) {
  innings = std::clamp(innings, 1, 99);
  scenario s;
  s.seed = seed;
  seeded_random r{seed};

  // Two staffs of five from a seeded shuffle of the names; index 0 is the team
  // batting first (pitches in bottom halves), 1 the team batting second.
  std::vector<const char*> names(std::begin(pitcher_names), std::end(pitcher_names));
  for (int i = static_cast<int>(names.size()) - 1; i > 0; --i)
    std::swap(names[i], names[random_between(r, 0, i)]);
  std::vector<staff_pitcher> staff[2];
  for (int team = 0; team < 2; ++team) {
    for (int i = 0; i < staff_size; ++i) {
      staff_pitcher p;
      p.name = names[team * staff_size + i];
      p.pitcher_hand = random_between(r, 0, 99) < left_hander_percent ? hand::left : hand::right;
      p.repertoire = random_between(r, 0, static_cast<int>(std::size(repertoires)) - 1);
      staff[team].push_back(p);
    }
  }
  const std::vector<change_plan> changes[2] = {plan_changes(r, innings), plan_changes(r, innings)};
  // Both hands pitch: if every pitcher who will pitch throws with the same
  // hand, the batting-second team's first reliever throws with the other.
  bool used[2] = {false, false};
  for (int team = 0; team < 2; ++team)
    for (std::size_t i = 0; i <= changes[team].size(); ++i)
      used[static_cast<int>(staff[team][i].pitcher_hand)] = true;
  if (!used[0] || !used[1]) staff[1][1].pitcher_hand = used[0] ? hand::left : hand::right;

  step state;
  auto show = [&](game_screen screen, int ms) {
    step st = state;
    st.kind = step_kind::screen;
    st.screen = screen;
    st.duration_ms = ms;
    st.balls = 0;
    st.strikes = 0;
    s.steps.push_back(st);
  };
  show(game_screen::warning, warning_ms);
  show(game_screen::title, title_ms);
  int current[2] = {0, 0};
  int changes_made[2] = {0, 0};
  state.pitcher = staff[1][0].name;
  state.pitcher_hand = staff[1][0].pitcher_hand;
  show(game_screen::play_ball, play_ball_ms);

  for (int inning = 1; inning <= innings; ++inning) {
    for (half h : {half::top, half::bottom}) {
      const int team = h == half::top ? 1 : 0;
      state.inning = inning;
      state.inning_half = h;
      state.outs = 0;
      state.pitcher = staff[team][current[team]].name;
      state.pitcher_hand = staff[team][current[team]].pitcher_hand;
      show(game_screen::scoreboard, half_scoreboard_ms);
      show(game_screen::field, half_field_ms);
      for (int at_bat = 0; state.outs < 3; ++at_bat) {
        const std::vector<change_plan>& plan = changes[team];
        if (changes_made[team] < static_cast<int>(plan.size()) &&
            plan[changes_made[team]].inning == inning &&
            plan[changes_made[team]].before_at_bat <= at_bat) {
          show(game_screen::time_out, change_time_out_ms);
          ++changes_made[team];
          current[team] = changes_made[team];
          state.pitcher = staff[team][current[team]].name;
          state.pitcher_hand = staff[team][current[team]].pitcher_hand;
          show(game_screen::field, change_field_ms);
        }
        if (random_between(r, 0, 99) < opponent_wait_percent)
          show(game_screen::opponent_time_out_wait, opponent_wait_ms);
        int balls = 0, strikes = 0;
        bool cut_in = false;
        for (bool at_bat_over = false; !at_bat_over;) {
          step st = state;
          st.kind = step_kind::pitch;
          st.screen = game_screen::versus;
          st.balls = balls;
          st.strikes = strikes;
          st.pitch.type = choose_type(r, staff[team][current[team]], strikes);
          st.pitch.path = make_flight(st.pitch.type, st.pitcher_hand, next_random(r));
          s.steps.push_back(st);
          switch (choose_outcome(r)) {
            case outcome_row::ball:
              at_bat_over = ++balls == 4;  // a walk
              break;
            case outcome_row::strike:
              at_bat_over = ++strikes == 3;
              if (at_bat_over) {
                ++state.outs;
                cut_in = random_between(r, 0, 99) < cut_in_percent;
              }
              break;
            case outcome_row::foul:
              strikes = std::min(strikes + 1, 2);
              break;
            case outcome_row::in_play:
              at_bat_over = true;
              if (random_between(r, 0, 99) < in_play_out_percent)
                ++state.outs;
              else
                cut_in = random_between(r, 0, 99) < cut_in_percent;
              break;
          }
          if (!at_bat_over && random_between(r, 0, 99) < mid_pitch_cut_in_percent)
            show(game_screen::cut_in, random_between(r, cut_in_min_ms, cut_in_max_ms));
        }
        if (cut_in) show(game_screen::cut_in, random_between(r, cut_in_min_ms, cut_in_max_ms));
        show(game_screen::field,
             random_between(r, at_bat_end_field_min_ms, at_bat_end_field_max_ms));
      }
    }
  }
  show(game_screen::game_set, game_set_ms);
  finish_scenario(s);
  return s;
}

void end_after_pitch(scenario& s, int n) {
  int thrown = 0;
  for (std::size_t i = 0; i + 1 < s.steps.size(); ++i) {
    if (s.steps[i].kind != step_kind::pitch || ++thrown < n) continue;
    const step last = s.steps.back();
    s.steps.resize(i + 1);
    s.steps.push_back(last);
    finish_scenario(s);
    return;
  }
}

}  // namespace practice
