// The practice game renderer: a stadium shared by every in-game screen, each
// screen's own overlays, and the versus view's panels, pitcher, batter and ball.
#include "practice/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "practice/flight.h"

namespace practice {
namespace {

// ---- Palette (BGR) ----------------------------------------------------------

const cv::Scalar sky_top(240, 214, 168);
const cv::Scalar sky_bottom(226, 190, 138);
const cv::Scalar stands_dark(92, 66, 52);
const cv::Scalar stands_row(140, 112, 92);
const cv::Scalar stands_aisle(150, 150, 146);
const cv::Scalar wall_green(44, 84, 34);
const cv::Scalar wall_top(20, 200, 236);
const cv::Scalar grass(60, 140, 70);
const cv::Scalar dirt(80, 128, 176);
const cv::Scalar mound(88, 136, 184);
const cv::Scalar chalk(238, 238, 238);
const cv::Scalar white(250, 250, 250);
const cv::Scalar black(20, 20, 20);
const cv::Scalar panel_navy(84, 46, 30);
const cv::Scalar panel_edge(200, 196, 190);
const cv::Scalar label_grey(150, 146, 140);
const cv::Scalar lamp_off(24, 16, 12);
const cv::Scalar ball_lamp(70, 240, 50);
const cv::Scalar strike_lamp(0, 220, 255);
const cv::Scalar out_lamp(40, 40, 236);
const cv::Scalar ball_white(246, 246, 246);
const cv::Scalar marker_orange(30, 120, 250);

// Crowd colours, picked by a hash of the seat block.
const cv::Scalar crowd[] = {{70, 70, 180}, {170, 170, 170}, {60, 150, 200},
                            {150, 90, 60}, {120, 120, 90},  {200, 200, 210}};

// ---- Stadium geometry (rows and corners of the shared frame) --------------

constexpr int stands_top = 28;
constexpr int wall_row = 112;
constexpr int grass_row = 128;

// ---- Drawing helpers ------------------------------------------------------

void fill(cv::Mat& img, std::initializer_list<cv::Point> points, const cv::Scalar& colour) {
  const std::vector<cv::Point> poly(points);
  cv::fillConvexPoly(img, poly, colour, cv::LINE_AA);
}

void box(cv::Mat& img, int x0, int y0, int x1, int y1, const cv::Scalar& colour) {
  cv::rectangle(img, cv::Point(x0, y0), cv::Point(x1, y1), colour, cv::FILLED);
}

void frame_box(cv::Mat& img, int x0, int y0, int x1, int y1, const cv::Scalar& colour,
               int thickness) {
  cv::rectangle(img, cv::Point(x0, y0), cv::Point(x1, y1), colour, thickness);
}

void text(cv::Mat& img, const std::string& s, int x, int y, double scale, const cv::Scalar& colour,
          int thickness = 1, int font = cv::FONT_HERSHEY_SIMPLEX) {
  cv::putText(img, s, cv::Point(x, y), font, scale, colour, thickness, cv::LINE_AA);
}

// Text centred on column cx with its baseline at y.
void centred_text(cv::Mat& img, const std::string& s, int cx, int y, double scale,
                  const cv::Scalar& colour, int thickness, int font) {
  int baseline = 0;
  const cv::Size size = cv::getTextSize(s, font, scale, thickness, &baseline);
  text(img, s, cx - size.width / 2, y, scale, colour, thickness, font);
}

void vertical_gradient(cv::Mat& img, int y0, int y1, const cv::Scalar& top,
                       const cv::Scalar& bottom) {
  for (int y = y0; y < y1; ++y) {
    const double t = (y1 - y0 > 1) ? double(y - y0) / (y1 - y0 - 1) : 0.0;
    img.row(y).setTo(top * (1.0 - t) + bottom * t);
  }
}

// ---- The stadium shared by every in-game screen ---------------------------

void draw_stadium(cv::Mat& img) {
  vertical_gradient(img, 0, stands_top, sky_top, sky_bottom);
  box(img, 0, stands_top, game_width - 1, wall_row - 1, stands_dark);
  // Seat rows of 12 px: a lit row, then blocks of crowd in shirts of many colours.
  for (int row = 0, y = stands_top + 2; y + 10 < wall_row; ++row, y += 12) {
    box(img, 0, y, game_width - 1, y + 2, stands_row);
    for (int x = (row % 2) * 5; x < game_width; x += 10) {
      const uint32_t h = (uint32_t(x) * 2654435761u) ^ (uint32_t(row) * 40503u);
      if (h % 7 < 3) continue;
      box(img, x, y + 4, x + 5, y + 9, crowd[(h >> 8) % 6]);
    }
  }
  for (int x = 54; x < game_width; x += 120)
    box(img, x, stands_top, x + 7, wall_row - 1, stands_aisle);
  box(img, 0, wall_row, game_width - 1, grass_row - 1, wall_green);
  box(img, 0, wall_row, game_width - 1, wall_row + 2, wall_top);
  text(img, "400", 338, 125, 0.35, wall_top);
  box(img, 0, grass_row, game_width - 1, game_height - 1, grass);
  // The dirt lane from the mound to the plate, the mound and the plate area.
  fill(img, {{262, 150}, {438, 150}, {585, 479}, {115, 479}}, dirt);
  fill(img, {{318, 236}, {382, 236}, {396, 252}, {304, 252}}, mound);
  fill(img, {{333, 462}, {366, 462}, {366, 470}, {350, 478}, {333, 470}}, chalk);
  frame_box(img, 296, 440, 324, 479, chalk, 2);
  frame_box(img, 375, 440, 403, 479, chalk, 2);
}

// ---- Figures --------------------------------------------------------------

enum class kit { cap, skin, shirt, pants, belt, shoe, glove };

// One colour per kit item. The pitcher stands where the ball flies, so his
// kit has the dirt's luminance (Y 137) and differs from it in colour only:
// on the Y plane, where the ball search starts, he is all but invisible and
// only the white ball stands out. The cap stays above the search rows.
struct kit_colours {
  cv::Scalar cap, skin, shirt, pants, belt, shoe, glove;
  const cv::Scalar& operator[](kit k) const {
    switch (k) {
      case kit::cap:
        return cap;
      case kit::skin:
        return skin;
      case kit::shirt:
        return shirt;
      case kit::pants:
        return pants;
      case kit::belt:
        return belt;
      case kit::shoe:
        return shoe;
      case kit::glove:
        return glove;
    }
    return shirt;
  }
};
const kit_colours pitcher_kit = {
    {100, 44, 30},   {100, 130, 170}, {230, 150, 80}, {150, 140, 128},
    {190, 116, 160}, {70, 100, 235},  {40, 120, 210},
};
const kit_colours batter_kit = {
    {40, 30, 150}, {134, 168, 214}, {222, 222, 226}, {120, 110, 104},
    {40, 30, 30},  {34, 34, 34},    {40, 88, 150},
};
const cv::Scalar bat_colour(110, 172, 214);

struct part {
  kit colour;
  std::vector<cv::Point> points;  // (x offset from the mound's centre column, row)
};

// The right-handed pitcher, facing the camera (his right arm on the picture's
// left). Rows 150 to 250 around column 350; a left-hander is the mirror image.
const std::vector<part>& pose_parts(pose p) {
  static const std::vector<part> set = {
      {kit::pants, {{-15, 210}, {-5, 210}, {-7, 246}, {-17, 246}}},
      {kit::pants, {{5, 210}, {15, 210}, {17, 246}, {7, 246}}},
      {kit::shoe, {{-21, 244}, {-6, 244}, {-6, 250}, {-21, 250}}},
      {kit::shoe, {{6, 244}, {21, 244}, {21, 250}, {6, 250}}},
      {kit::pants, {{-16, 200}, {16, 200}, {15, 214}, {-15, 214}}},
      {kit::shirt, {{-17, 172}, {17, 172}, {16, 200}, {-16, 200}}},
      {kit::belt, {{-16, 199}, {16, 199}, {16, 203}, {-16, 203}}},
      {kit::skin, {{-6, 160}, {6, 160}, {6, 173}, {-6, 173}}},
      {kit::cap, {{-8, 150}, {8, 150}, {9, 160}, {-9, 160}}},
      {kit::cap, {{-11, 158}, {11, 158}, {11, 162}, {-11, 162}}},
      {kit::shirt, {{-18, 173}, {-11, 173}, {-8, 192}, {-15, 194}}},
      {kit::shirt, {{18, 173}, {11, 173}, {8, 192}, {15, 194}}},
      {kit::skin, {{-15, 188}, {-8, 186}, {-2, 186}, {-2, 193}, {-14, 194}}},
      {kit::glove, {{-3, 180}, {9, 180}, {10, 195}, {-2, 195}}},
  };
  static const std::vector<part> take_back = {
      {kit::pants, {{-12, 208}, {-2, 208}, {-6, 246}, {-16, 246}}},
      {kit::shoe, {{-21, 244}, {-5, 244}, {-5, 250}, {-21, 250}}},
      {kit::pants, {{4, 204}, {14, 210}, {34, 204}, {28, 196}}},
      {kit::pants, {{27, 200}, {36, 202}, {33, 224}, {25, 224}}},
      {kit::shoe, {{23, 222}, {38, 222}, {38, 228}, {23, 228}}},
      {kit::pants, {{-14, 198}, {14, 198}, {13, 212}, {-13, 212}}},
      {kit::shirt, {{-15, 172}, {15, 172}, {14, 199}, {-14, 199}}},
      {kit::belt, {{-14, 197}, {14, 197}, {14, 201}, {-14, 201}}},
      {kit::skin, {{-5, 160}, {7, 160}, {7, 173}, {-5, 173}}},
      {kit::cap, {{-7, 150}, {9, 150}, {10, 160}, {-6, 160}}},
      {kit::cap, {{-6, 158}, {15, 158}, {15, 162}, {-6, 162}}},
      {kit::shirt, {{-15, 173}, {-12, 181}, {-33, 171}, {-35, 163}}},
      {kit::shirt, {{-36, 164}, {-31, 169}, {-44, 157}, {-48, 153}}},
      {kit::skin, {{-53, 145}, {-44, 145}, {-44, 155}, {-53, 155}}},
      {kit::shirt, {{15, 174}, {14, 182}, {32, 191}, {34, 183}}},
      {kit::glove, {{32, 179}, {45, 181}, {45, 195}, {32, 195}}},
  };
  static const std::vector<part> finish = {
      {kit::pants, {{10, 212}, {21, 212}, {30, 246}, {20, 246}}},
      {kit::shoe, {{18, 244}, {36, 244}, {36, 250}, {18, 250}}},
      {kit::pants, {{0, 208}, {8, 214}, {-22, 226}, {-28, 216}}},
      {kit::pants, {{-28, 216}, {-22, 226}, {-44, 220}, {-48, 210}}},
      {kit::shoe, {{-58, 202}, {-46, 204}, {-46, 214}, {-58, 214}}},
      {kit::pants, {{-2, 204}, {24, 204}, {24, 216}, {0, 216}}},
      {kit::shirt, {{-4, 186}, {30, 184}, {26, 208}, {-2, 208}}},
      {kit::belt, {{-2, 205}, {25, 205}, {25, 209}, {-2, 209}}},
      {kit::skin, {{10, 172}, {22, 172}, {22, 186}, {10, 186}}},
      {kit::cap, {{8, 164}, {24, 164}, {25, 173}, {9, 173}}},
      {kit::cap, {{9, 171}, {30, 171}, {30, 175}, {9, 175}}},
      {kit::shirt, {{-2, 188}, {5, 186}, {40, 222}, {33, 228}}},
      {kit::skin, {{34, 222}, {44, 222}, {44, 232}, {34, 232}}},
      {kit::shirt, {{28, 188}, {24, 195}, {40, 200}, {42, 192}}},
      {kit::glove, {{38, 186}, {50, 186}, {50, 200}, {38, 200}}},
  };
  switch (p) {
    case pose::set:
      return set;
    case pose::take_back:
      return take_back;
    case pose::finish:
      return finish;
  }
  return set;
}

constexpr int mound_centre = 350;

// Draws the pitcher; a left-hander is mirrored about the mound's centre line
// (column 349.5), so both hands stand on the same spot.
void draw_pitcher(cv::Mat& img, pose p, hand h) {
  for (const part& pt : pose_parts(p)) {
    std::vector<cv::Point> poly;
    poly.reserve(pt.points.size());
    for (const cv::Point& q : pt.points) {
      const int x = mound_centre + q.x;
      poly.emplace_back(h == hand::right ? x : 2 * mound_centre - 1 - x, q.y);
    }
    cv::fillConvexPoly(img, poly, pitcher_kit[pt.colour], cv::LINE_AA);
  }
}

// The batter waits on the right of the plate, clear of every pitch's path.
void draw_batter(cv::Mat& img) {
  fill(img, {{468, 268}, {474, 262}, {526, 198}, {520, 194}}, bat_colour);
  fill(img, {{478, 310}, {492, 310}, {488, 400}, {472, 400}}, batter_kit.pants);
  fill(img, {{496, 310}, {510, 310}, {528, 398}, {513, 401}}, batter_kit.pants);
  fill(img, {{462, 398}, {490, 398}, {490, 406}, {462, 406}}, batter_kit.shoe);
  fill(img, {{510, 398}, {536, 396}, {537, 404}, {511, 406}}, batter_kit.shoe);
  fill(img, {{474, 246}, {508, 246}, {512, 312}, {478, 312}}, batter_kit.shirt);
  fill(img, {{476, 300}, {512, 300}, {512, 305}, {477, 305}}, batter_kit.belt);
  fill(img, {{476, 250}, {484, 250}, {474, 268}, {466, 266}}, batter_kit.shirt);
  fill(img, {{500, 250}, {508, 252}, {480, 272}, {474, 266}}, batter_kit.shirt);
  fill(img, {{464, 260}, {476, 260}, {476, 272}, {464, 272}}, batter_kit.skin);
  fill(img, {{484, 232}, {500, 232}, {500, 247}, {484, 247}}, batter_kit.skin);
  fill(img, {{480, 215}, {502, 213}, {506, 233}, {478, 235}}, batter_kit.cap);
  fill(img, {{468, 229}, {482, 229}, {482, 235}, {468, 235}}, batter_kit.cap);
}

// ---- The hard difficulty's pitch view --------------------------------------

// A value in [-1, 1) fixed by a pixel and a layer, the same on every platform.
float hashed_unit(int x, int y, uint64_t layer) {
  seeded_random r{(uint64_t(uint32_t(x)) << 32 | uint32_t(y)) ^ (layer * 0xD1B54A32D192ED03ull)};
  return static_cast<float>(next_random(r) >> 40) / static_cast<float>(1 << 23) - 1.0f;
}

// A field of hashed values: per pixel (cell 1) or smooth blotches (larger
// cells, bicubic between them).
cv::Mat hashed_field(cv::Size size, int cell, uint64_t layer) {
  const cv::Size cells((size.width + cell - 1) / cell + 1, (size.height + cell - 1) / cell + 1);
  cv::Mat coarse(cells, CV_32F);
  for (int y = 0; y < cells.height; ++y)
    for (int x = 0; x < cells.width; ++x) coarse.at<float>(y, x) = hashed_unit(x, y, layer);
  if (cell == 1) return coarse(cv::Rect({0, 0}, size)).clone();
  cv::Mat field;
  cv::resize(coarse, field, {cells.width * cell, cells.height * cell}, 0, 0, cv::INTER_CUBIC);
  return field(cv::Rect({0, 0}, size)).clone();
}

bool same_colour(const cv::Vec3b& pixel, const cv::Scalar& colour) {
  return pixel[0] == colour[0] && pixel[1] == colour[1] && pixel[2] == colour[2];
}

// Grass with mowing stripes, fine blades and blotches; dirt with grit,
// blotches and pebbles. Only pixels still of the flat grass, dirt or mound
// colour change, from the top of the searched rows down.
void texture_ground(cv::Mat& img) {
  constexpr int top = ball_area_top - 30;
  const cv::Size size = img.size();
  cv::Mat blades = hashed_field(size, 1, 1);
  cv::GaussianBlur(blades, blades, {3, 3}, 0);
  const cv::Mat grit = hashed_field(size, 1, 2);
  const cv::Mat blotches = hashed_field(size, 24, 3);
  constexpr float channel_weight[3] = {0.9f, 1.0f, 1.1f};
  for (int y = top; y < size.height; ++y) {
    auto* row = img.ptr<cv::Vec3b>(y);
    for (int x = 0; x < size.width; ++x) {
      float delta = 0.0f;
      if (same_colour(row[x], grass)) {
        // Stripes 36 px wide, slanting as seen from behind the plate.
        const bool light_stripe = ((x + (y - top) / 2) / 36) % 2 == 0;
        delta = (light_stripe ? 6.0f : -6.0f) + 9.0f * blades.at<float>(y, x) +
                8.0f * blotches.at<float>(y, x);
      } else if (same_colour(row[x], dirt) || same_colour(row[x], mound)) {
        delta = 11.0f * grit.at<float>(y, x) + 9.0f * blotches.at<float>(y, x);
      } else {
        continue;
      }
      for (int c = 0; c < 3; ++c)
        row[x][c] = cv::saturate_cast<uint8_t>(row[x][c] + delta * channel_weight[c]);
    }
  }
  // Pebbles: small dark and light spots on the dirt.
  for (int i = 0; i < 160; ++i) {
    const int x = static_cast<int>((hashed_unit(i, 0, 4) + 1.0f) * 0.5f * size.width);
    const int y =
        top + static_cast<int>((hashed_unit(i, 1, 4) + 1.0f) * 0.5f * (size.height - top));
    const cv::Vec3b under = img.at<cv::Vec3b>(y, x);
    if (std::abs(under[2] - static_cast<int>(dirt[2])) > 30) continue;
    const double shade = i % 3 == 0 ? 1.35 : 0.7;
    cv::circle(img, {x, y}, 1, cv::Scalar(under[0], under[1], under[2]) * shade, cv::FILLED,
               cv::LINE_AA);
  }
}

// A base coach seen from afar, feet at (x, y): a round head under a round cap.
void draw_coach(cv::Mat& img, int x, int y, const kit_colours& kit) {
  fill(img, {{x - 6, y - 26}, {x - 1, y - 26}, {x - 2, y}, {x - 7, y}}, kit.pants);
  fill(img, {{x + 1, y - 26}, {x + 6, y - 26}, {x + 7, y}, {x + 2, y}}, kit.pants);
  fill(img, {{x - 9, y - 50}, {x + 9, y - 50}, {x + 7, y - 25}, {x - 7, y - 25}}, kit.shirt);
  cv::circle(img, {x, y - 57}, 7, kit.skin, cv::FILLED, cv::LINE_AA);
  cv::ellipse(img, {x, y - 60}, {8, 6}, 0, 180, 360, kit.cap, cv::FILLED, cv::LINE_AA);
}

// Round things where the ball is searched: bases, a rosin bag, the on-deck
// circle and two base coaches.
void draw_round_decoys(cv::Mat& img) {
  cv::circle(img, {110, 420}, 13, chalk, 2, cv::LINE_AA);  // on-deck circle
  for (const cv::Point base : {cv::Point(62, 300), cv::Point(655, 296)}) {
    cv::circle(img, base, 7, white, cv::FILLED, cv::LINE_AA);
    cv::circle(img, base + cv::Point(1, 1), 7, chalk * 0.85, 1, cv::LINE_AA);
  }
  cv::circle(img, {232, 262}, 5, cv::Scalar(232, 236, 240), cv::FILLED, cv::LINE_AA);  // rosin
  draw_coach(img, 66, 262, batter_kit);
  draw_coach(img, 650, 258, pitcher_kit);
}

// The batter with a round head under a round helmet.
void draw_round_headed_batter(cv::Mat& img) {
  draw_batter(img);
  cv::circle(img, {492, 240}, 8, batter_kit.skin, cv::FILLED, cv::LINE_AA);
  cv::ellipse(img, {492, 236}, {10, 8}, 0, 180, 360, batter_kit.cap, cv::FILLED, cv::LINE_AA);
}

// ---- Versus view panels ---------------------------------------------------

// Count panel, top left: rows of lamps for balls, strikes and outs, and the
// home team's pennant under them. Each row has its own lamp size and spacing,
// so no row looks like another shifted; an unlit lamp is darker than the
// panel and a lit one far brighter, so lighting one changes the panel a lot.
struct lamp_row {
  const char* label;
  int top;    // first pixel row of the lamps
  int count;  // lamps in the row
  int size;   // lamp side
  int pitch;  // distance between lamp left edges
  cv::Scalar lit;
};
const lamp_row lamp_rows[] = {
    {"B", 6, 3, 10, 13, ball_lamp},
    {"S", 22, 2, 13, 18, strike_lamp},
    {"O", 42, 2, 8, 11, out_lamp},
};
constexpr int lamp_left = 18;

void draw_lamp(cv::Mat& img, const lamp_row& r, int i, const cv::Scalar& colour) {
  const int x = lamp_left + i * r.pitch;
  box(img, x, r.top, x + r.size - 1, r.top + r.size - 1, colour);
}

void draw_count_panel_frame(cv::Mat& img) {
  box(img, 0, 0, 58, 130, panel_navy);
  frame_box(img, 0, 0, 58, 130, panel_edge, 2);
  for (const lamp_row& r : lamp_rows) {
    text(img, r.label, 4, r.top + (r.size + 9) / 2 + 1, 0.4, label_grey, 1);
    for (int i = 0; i < r.count; ++i) draw_lamp(img, r, i, lamp_off);
  }
  box(img, 4, 60, 54, 61, panel_edge);
  fill(img, {{8, 72}, {50, 86}, {8, 100}}, cv::Scalar(40, 40, 200));
  fill(img, {{8, 82}, {30, 86}, {8, 90}}, white);
  text(img, "VS", 14, 122, 0.6, wall_top, 2);
}

void draw_count_lamps(cv::Mat& img, int balls, int strikes, int outs) {
  const int lit[] = {std::clamp(balls, 0, 3), std::clamp(strikes, 0, 2), std::clamp(outs, 0, 2)};
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < lit[r]; ++i) draw_lamp(img, lamp_rows[r], i, lamp_rows[r].lit);
  }
}

// Inning sign (columns 62..137) and the inning number beside it.
void draw_inning_sign(cv::Mat& img, half h) {
  box(img, 62, 10, 137, 47, cv::Scalar(46, 32, 26));
  if (h == half::top) {
    fill(img, {{76, 16}, {88, 38}, {64, 38}}, cv::Scalar(40, 60, 235));
    text(img, "TOP", 94, 35, 0.55, cv::Scalar(60, 170, 250), 2);
  } else {
    fill(img, {{64, 18}, {88, 18}, {76, 40}}, cv::Scalar(235, 150, 40));
    text(img, "BOT", 94, 35, 0.55, cv::Scalar(250, 220, 120), 2);
  }
}

void draw_inning_number(cv::Mat& img, int inning) {
  box(img, 142, 10, 175, 47, cv::Scalar(46, 32, 26));
  centred_text(img, std::to_string(std::clamp(inning, 1, 99)), 158, 36, 0.7, white, 2,
               cv::FONT_HERSHEY_SIMPLEX);
}

// Name plate: the name region (545..634 x 15..34) holds nothing but the plate
// and the name.
void draw_name_plate_frame(cv::Mat& img) {
  box(img, 540, 11, 639, 37, cv::Scalar(228, 228, 226));
  frame_box(img, 540, 11, 639, 37, cv::Scalar(60, 40, 30), 1);
}

void draw_name(cv::Mat& img, const std::string& name) {
  constexpr int room = 86;
  double scale = 0.5;
  int baseline = 0;
  cv::Size size = cv::getTextSize(name, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
  if (size.width > room) {
    scale *= double(room) / size.width;
    size = cv::getTextSize(name, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
  }
  text(img, name, 590 - size.width / 2, 30, scale, black, 1);
}

// Throwing-hand sign under the name plate, rows 41..67: never inside the name region.
void draw_hand_sign(cv::Mat& img, hand h) {
  if (h == hand::right) {
    box(img, 553, 41, 676, 67, cv::Scalar(50, 50, 206));
    fill(img, {{560, 54}, {572, 45}, {572, 63}}, white);
    text(img, "RIGHT", 582, 61, 0.65, white, 2);
  } else {
    box(img, 553, 41, 676, 67, cv::Scalar(206, 120, 40));
    fill(img, {{669, 54}, {657, 45}, {657, 63}}, white);
    text(img, "LEFT", 580, 61, 0.65, white, 2);
  }
}

// ---- Screens ----------------------------------------------------------------

void draw_title(cv::Mat& img) {
  vertical_gradient(img, 0, game_height, cv::Scalar(96, 34, 16), cv::Scalar(40, 12, 6));
  for (int x = 0; x < game_width; x += 48) box(img, x, 300, x + 23, 479, cv::Scalar(60, 110, 40));
  fill(img, {{235, 24}, {292, 70}, {235, 116}, {178, 70}}, cv::Scalar(40, 40, 210));
  fill(img, {{235, 40}, {276, 70}, {235, 100}, {194, 70}}, white);
  text(img, "PB", 209, 82, 1.0, cv::Scalar(40, 40, 210), 3, cv::FONT_HERSHEY_DUPLEX);
  text(img, "PRACTICE", 310, 62, 1.3, cv::Scalar(0, 210, 255), 3, cv::FONT_HERSHEY_DUPLEX);
  text(img, "BASEBALL", 310, 110, 1.3, white, 3, cv::FONT_HERSHEY_DUPLEX);
  centred_text(img, "PRESS START", 360, 380, 0.9, white, 2, cv::FONT_HERSHEY_SIMPLEX);
}

void draw_warning(cv::Mat& img) {
  img.setTo(cv::Scalar(10, 10, 10));
  fill(img, {{345, 46}, {400, 126}, {290, 126}}, cv::Scalar(0, 200, 250));
  box(img, 340, 70, 349, 105, black);
  box(img, 340, 110, 349, 119, black);
  centred_text(img, "WARNING", 360, 180, 1.2, cv::Scalar(0, 200, 250), 3, cv::FONT_HERSHEY_DUPLEX);
  centred_text(img, "This practice game is synthetic.", 360, 240, 0.6, white, 1,
               cv::FONT_HERSHEY_SIMPLEX);
  centred_text(img, "Take a break every hour.", 360, 270, 0.6, white, 1, cv::FONT_HERSHEY_SIMPLEX);
}

// The view from behind the plate between pitches: the stadium, the batter and
// the pitcher standing set. The overlays of several screens sit on it.
void draw_ground(cv::Mat& img) {
  draw_stadium(img);
  draw_batter(img);
  draw_pitcher(img, pose::set, hand::right);
}

void draw_play_ball(cv::Mat& img) {
  draw_ground(img);
  box(img, 110, 204, 609, 275, cv::Scalar(40, 40, 190));
  box(img, 110, 208, 609, 212, white);
  box(img, 110, 267, 609, 271, white);
  centred_text(img, "PLAY BALL!", 360, 257, 1.6, white, 4, cv::FONT_HERSHEY_DUPLEX);
}

// A fielder seen from afar: a small polygonal figure standing at (x, y) feet.
void draw_fielder(cv::Mat& img, int x, int y) {
  fill(img, {{x - 5, y - 14}, {x - 1, y - 14}, {x - 2, y}, {x - 6, y}}, pitcher_kit.pants);
  fill(img, {{x + 1, y - 14}, {x + 5, y - 14}, {x + 6, y}, {x + 2, y}}, pitcher_kit.pants);
  fill(img, {{x - 6, y - 28}, {x + 6, y - 28}, {x + 5, y - 13}, {x - 5, y - 13}},
       pitcher_kit.shirt);
  fill(img, {{x - 3, y - 34}, {x + 3, y - 34}, {x + 3, y - 28}, {x - 3, y - 28}}, pitcher_kit.skin);
  fill(img, {{x - 4, y - 38}, {x + 4, y - 38}, {x + 5, y - 33}, {x - 5, y - 33}}, pitcher_kit.cap);
}

void draw_field(cv::Mat& img) {
  draw_stadium(img);
  draw_fielder(img, 170, 190);
  draw_fielder(img, 540, 185);
  draw_fielder(img, 350, 160);
  draw_fielder(img, 240, 330);
  // Mini-map of the diamond in the corner, with the runners.
  box(img, 0, 230, 69, 289, cv::Scalar(30, 70, 30));
  frame_box(img, 0, 230, 69, 289, white, 2);
  fill(img, {{35, 240}, {58, 262}, {35, 284}, {12, 262}}, dirt);
  fill(img, {{35, 250}, {46, 262}, {35, 274}, {24, 262}}, cv::Scalar(50, 120, 50));
  box(img, 55, 259, 61, 265, white);
  box(img, 32, 237, 38, 243, cv::Scalar(40, 40, 220));
  box(img, 32, 281, 38, 287, white);
}

void draw_time_out(cv::Mat& img) {
  draw_ground(img);
  box(img, 12, 4, 97, 55, cv::Scalar(0, 130, 245));
  frame_box(img, 12, 4, 97, 55, white, 2);
  text(img, "TIME", 20, 42, 0.95, white, 2, cv::FONT_HERSHEY_DUPLEX);
}

void draw_scoreboard(cv::Mat& img) {
  draw_ground(img);
  box(img, 300, 60, 619, 200, cv::Scalar(36, 64, 26));
  frame_box(img, 300, 60, 619, 200, cv::Scalar(20, 200, 236), 3);
  const char* heads[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "R"};
  const char* first[] = {"0", "1", "0", "0", "2", "0", "0", "1", "0", "4"};
  const char* second[] = {"0", "0", "3", "0", "0", "0", "1", "0", "", "4"};
  for (int i = 0; i < 10; ++i) {
    const int cx = 372 + i * 24;
    centred_text(img, heads[i], cx, 92, 0.6, cv::Scalar(20, 200, 236), 2, cv::FONT_HERSHEY_SIMPLEX);
    centred_text(img, first[i], cx, 134, 0.6, white, 2, cv::FONT_HERSHEY_SIMPLEX);
    centred_text(img, second[i], cx, 174, 0.6, white, 2, cv::FONT_HERSHEY_SIMPLEX);
  }
  box(img, 306, 102, 613, 103, white);
  box(img, 306, 148, 613, 149, white);
  text(img, "AWAY", 310, 134, 0.55, white, 1);
  text(img, "HOME", 310, 174, 0.55, white, 1);
}

void draw_opponent_time_out_wait(cv::Mat& img) {
  draw_ground(img);
  box(img, 150, 200, 299, 269, cv::Scalar(120, 60, 40));
  frame_box(img, 150, 200, 299, 269, white, 2);
  box(img, 150, 200, 299, 222, cv::Scalar(200, 130, 60));
  centred_text(img, "OPPONENT", 225, 217, 0.55, white, 1, cv::FONT_HERSHEY_SIMPLEX);
  centred_text(img, "TIME OUT", 225, 248, 0.7, cv::Scalar(0, 220, 255), 2,
               cv::FONT_HERSHEY_SIMPLEX);
  centred_text(img, "please wait", 225, 263, 0.4, white, 1, cv::FONT_HERSHEY_SIMPLEX);
}

void draw_game_set(cv::Mat& img) {
  draw_stadium(img);
  box(img, 40, 300, 679, 361, cv::Scalar(30, 176, 228));
  box(img, 40, 300, 679, 303, cv::Scalar(20, 40, 120));
  box(img, 40, 358, 679, 361, cv::Scalar(20, 40, 120));
  text(img, "GAME SET", 78, 348, 1.7, cv::Scalar(20, 30, 110), 4, cv::FONT_HERSHEY_DUPLEX);
}

// A replay close-up in a window over the ground: known to none of the checks.
void draw_cut_in(cv::Mat& img) {
  draw_ground(img);
  box(img, 220, 150, 499, 339, cv::Scalar(150, 170, 120));
  fill(img, {{300, 339}, {330, 200}, {390, 200}, {420, 339}}, pitcher_kit.shirt);
  fill(img, {{335, 160}, {385, 160}, {390, 205}, {330, 205}}, pitcher_kit.skin);
  fill(img, {{325, 152}, {395, 152}, {398, 176}, {322, 176}}, pitcher_kit.cap);
  frame_box(img, 220, 150, 499, 339, white, 3);
  box(img, 230, 160, 237, 167, cv::Scalar(40, 40, 230));
  text(img, "REPLAY", 244, 169, 0.5, white, 1);
}

void draw_versus_base(cv::Mat& img) {
  draw_stadium(img);
  draw_batter(img);
  draw_count_panel_frame(img);
  draw_name_plate_frame(img);
}

void draw_hard_versus_base(cv::Mat& img) {
  img.create(game_height, game_width, CV_8UC3);
  draw_stadium(img);
  texture_ground(img);
  draw_round_decoys(img);
  draw_round_headed_batter(img);
  draw_count_panel_frame(img);
  draw_name_plate_frame(img);
}

void draw_screen_base(game_screen screen, cv::Mat& img) {
  img.create(game_height, game_width, CV_8UC3);
  switch (screen) {
    case game_screen::title:
      draw_title(img);
      break;
    case game_screen::warning:
      draw_warning(img);
      break;
    case game_screen::play_ball:
      draw_play_ball(img);
      break;
    case game_screen::versus:
      draw_versus_base(img);
      break;
    case game_screen::field:
      draw_field(img);
      break;
    case game_screen::time_out:
      draw_time_out(img);
      break;
    case game_screen::scoreboard:
      draw_scoreboard(img);
      break;
    case game_screen::opponent_time_out_wait:
      draw_opponent_time_out_wait(img);
      break;
    case game_screen::game_set:
      draw_game_set(img);
      break;
    case game_screen::cut_in:
      draw_cut_in(img);
      break;
  }
}

const cv::Mat& screen_layer(render_cache& cache, game_screen screen) {
  cv::Mat& layer = cache.screens[static_cast<int>(screen)];
  if (layer.empty()) draw_screen_base(screen, layer);
  return layer;
}

const cv::Mat& versus_layer(render_cache& cache, pose p, hand h, difficulty level) {
  const int index = 2 * static_cast<int>(p) + static_cast<int>(h);
  const bool hard = level == difficulty::hard;
  cv::Mat& layer = hard ? cache.hard_versus_poses[index] : cache.versus_poses[index];
  if (layer.empty()) {
    if (hard && cache.hard_versus.empty()) draw_hard_versus_base(cache.hard_versus);
    (hard ? cache.hard_versus : screen_layer(cache, game_screen::versus)).copyTo(layer);
    draw_pitcher(layer, p, h);
  }
  return layer;
}

// The versus view's changing parts, over the cached stadium, batter and pitcher.
void draw_versus(const game_view& view, render_cache& cache, cv::Mat& picture) {
  versus_layer(cache, view.pitcher_pose, view.pitcher_hand, view.level).copyTo(picture);
  draw_count_lamps(picture, view.balls, view.strikes, view.outs);
  if (view.show_inning_sign) draw_inning_sign(picture, view.inning_half);
  draw_inning_number(picture, view.inning);
  draw_name(picture, view.pitcher_name);
  if (view.show_hand_sign) draw_hand_sign(picture, view.pitcher_hand);
  if (view.ignored_point_markers) {
    for (float x : marker_x) draw_ball(picture, x, marker_y, marker_radius, marker_orange);
  }
  draw_flying_ball(view, picture);
}

// Where draw_ball may write: a margin of a pixel around the rim, clipped to
// the picture. Bounds are clipped in float first, so a centre far off the
// picture never overflows an int.
cv::Rect ball_bounds(float x, float y, float radius, cv::Size size) {
  if (!(radius > 0.0f && radius < 100.0f) || !std::isfinite(x) || !std::isfinite(y)) return {};
  const float rim = radius + 0.5f;
  const float left = std::max(0.0f, std::floor(x - rim - 1.0f));
  const float right = std::min(size.width - 1.0f, std::ceil(x + rim + 1.0f));
  const float top = std::max(0.0f, std::floor(y - rim - 1.0f));
  const float bottom = std::min(size.height - 1.0f, std::ceil(y + rim + 1.0f));
  if (left > right || top > bottom) return {};
  return cv::Rect(cv::Point(static_cast<int>(left), static_cast<int>(top)),
                  cv::Point(static_cast<int>(right) + 1, static_cast<int>(bottom) + 1));
}

// The flying ball sits on the half pixel nearest its centre.
cv::Point2f snapped_centre(const ball_view& ball) {
  return {std::floor(ball.x) + 0.5f, std::floor(ball.y) + 0.5f};
}

}  // namespace

cv::Rect ball_area(const game_view& view, cv::Size size) {
  if (view.screen != game_screen::versus || !view.ball.visible) return {};
  const cv::Point2f c = snapped_centre(view.ball);
  const cv::Rect head = ball_bounds(c.x, c.y, view.ball.radius, size);
  if (view.ball.blur_x == 0.0f && view.ball.blur_y == 0.0f) return head;
  return head | ball_bounds(c.x - view.ball.blur_x, c.y - view.ball.blur_y, view.ball.radius, size);
}

void draw_flying_ball(const game_view& view, cv::Mat& picture) {
  if (view.screen != game_screen::versus || !view.ball.visible) return;
  const cv::Point2f c = snapped_centre(view.ball);
  if (view.ball.blur_x == 0.0f && view.ball.blur_y == 0.0f) {
    draw_ball(picture, c.x, c.y, view.ball.radius, ball_white);
  } else {
    draw_blurred_ball(picture, c.x, c.y, view.ball.radius, view.ball.blur_x, view.ball.blur_y,
                      ball_white);
  }
}

void draw_ball(cv::Mat& picture, float x, float y, float radius, const cv::Scalar& colour) {
  if (picture.type() != CV_8UC3) return;
  const cv::Rect bounds = ball_bounds(x, y, radius, picture.size());
  if (bounds.empty()) return;
  // Like a filled cv::circle, the disc holds every pixel centre within the
  // radius, so its rim (where a pixel is half covered) lies half a pixel further out.
  const float rim = radius + 0.5f;
  for (int j = bounds.y; j < bounds.y + bounds.height; ++j) {
    auto* row = picture.ptr<cv::Vec3b>(j);
    for (int i = bounds.x; i < bounds.x + bounds.width; ++i) {
      const float dx = static_cast<float>(i) - x;
      const float dy = static_cast<float>(j) - y;
      const float cover = std::clamp(rim + 0.5f - std::sqrt(dx * dx + dy * dy), 0.0f, 1.0f);
      if (cover <= 0.0f) continue;
      // Light from the upper left: up to 14 % darker towards the lower right.
      const float shade = 1.0f - 0.07f * (1.0f + (dx + dy) / (1.41421356f * radius));
      for (int c = 0; c < 3; ++c) {
        const float lit = static_cast<float>(colour[c]) * shade;
        row[i][c] = cv::saturate_cast<uint8_t>(row[i][c] + cover * (lit - row[i][c]));
      }
    }
  }
}

void draw_blurred_ball(cv::Mat& picture, float x, float y, float radius, float blur_x, float blur_y,
                       const cv::Scalar& colour) {
  if (picture.type() != CV_8UC3 || !std::isfinite(blur_x) || !std::isfinite(blur_y)) return;
  const cv::Rect bounds = ball_bounds(x, y, radius, picture.size()) |
                          ball_bounds(x - blur_x, y - blur_y, radius, picture.size());
  if (bounds.empty()) return;
  // The exposure as eight sharp balls along the path, each covering an
  // eighth; the shading follows the ball.
  constexpr int samples = 8;
  const float rim = radius + 0.5f;
  for (int j = bounds.y; j < bounds.y + bounds.height; ++j) {
    auto* row = picture.ptr<cv::Vec3b>(j);
    for (int i = bounds.x; i < bounds.x + bounds.width; ++i) {
      float cover = 0.0f;
      float shade = 0.0f;
      for (int k = 0; k < samples; ++k) {
        const float back = static_cast<float>(k) / (samples - 1);
        const float dx = static_cast<float>(i) - (x - blur_x * back);
        const float dy = static_cast<float>(j) - (y - blur_y * back);
        const float c = std::clamp(rim + 0.5f - std::sqrt(dx * dx + dy * dy), 0.0f, 1.0f);
        cover += c / samples;
        shade += c / samples * (1.0f - 0.07f * (1.0f + (dx + dy) / (1.41421356f * radius)));
      }
      if (cover <= 0.0f) continue;
      for (int c = 0; c < 3; ++c) {
        const float lit = static_cast<float>(colour[c]) * shade / cover;
        row[i][c] = cv::saturate_cast<uint8_t>(row[i][c] + cover * (lit - row[i][c]));
      }
    }
  }
}

void add_pixel_noise(cv::Mat& picture, int amplitude, uint32_t seed) {
  if (amplitude <= 0 || picture.empty()) return;
  // Each byte of a 64-bit xorshift word picks one offset in [-amplitude, amplitude].
  int8_t offsets[256];
  const int span = 2 * std::min(amplitude, 127) + 1;
  for (int b = 0; b < 256; ++b) offsets[b] = static_cast<int8_t>(b * span / 256 - (span / 2));
  uint64_t state = 0x9E3779B97F4A7C15ull ^ (uint64_t(seed) * 0xBF58476D1CE4E5B9ull);
  if (state == 0) state = 1;
  for (int j = 0; j < picture.rows; ++j) {
    uint8_t* p = picture.ptr<uint8_t>(j);
    const int n = picture.cols * picture.channels();
    for (int i = 0; i < n; i += 8) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      uint64_t word = state;
      for (int k = 0; k < 8 && i + k < n; ++k, word >>= 8) {
        p[i + k] = cv::saturate_cast<uint8_t>(int(p[i + k]) + offsets[word & 0xFF]);
      }
    }
  }
}

void render_game(const game_view& view, render_cache& cache, cv::Mat& picture) {
  if (view.screen == game_screen::versus) {
    draw_versus(view, cache, picture);
  } else {
    screen_layer(cache, view.screen).copyTo(picture);
  }
  add_pixel_noise(picture, view.noise_amplitude, view.noise_seed);
}

void render_game(const game_view& view, cv::Mat& picture) {
  render_cache fresh;
  render_game(view, fresh, picture);
}

}  // namespace practice
