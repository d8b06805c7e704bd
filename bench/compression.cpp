// bench_compression: how every check's score falls with H.264's quality.
//
// One seeded practice game (seed 5, one inning) recorded lossless (FFV1) and
// at each rate factor of `crfs`, the game picture alone at 720 x 480 and on a
// 1920 x 1080 desktop at (601, 299); made with practice-game record into
// bench-compression/ beside this tool on the first run. The lossless and the
// lossy video are read frame by frame side by side. Where a check hits on the
// lossless frame, its score on the lossy one is a true hit; where it misses,
// a true miss. Per check and rate factor the table gives the lowest true hit
// and the highest true miss, and for the checks read in pairs (the two
// finish poses, the two inning signs, the two hand signs) the least lead of
// the true candidate over the other one on the frames where it hits.
// Usage: bench_compression [--desktop] (run in a folder holding data/, as the
// replay is); the 1920 x 1080 desktop only with --desktop (its six recordings
// take long to make).
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/videoio.hpp>

#include "control/templates/checks.h"
#include "control/templates/template_store.h"

namespace fs = std::filesystem;
using namespace pitchlog;

namespace {

constexpr int crfs[] = {18, 23, 28, 33, 35};

struct layout {
  const char* name;
  const char* arguments;  // of practice-game record beyond the codec
  cv::Point origin;
};
const layout layouts[] = {
    {"720x480", "", {0, 0}},
    {"1920x1080", " --size 1920x1080 --x 601 --y 299", {601, 299}},
};

// The checks measured: every one with a picture of data/ and a fixed region;
// `other` is the check read against it, or -1.
struct measured {
  check_id id;
  int other;
};
const std::vector<measured> checks_measured = {
    {check_id::versus_ground, -1},
    {check_id::field_ground, -1},
    {check_id::time_out, -1},
    {check_id::scoreboard, -1},
    {check_id::opponent_time_out_wait, -1},
    {check_id::title, -1},
    {check_id::game_set, -1},
    {check_id::warning, -1},
    {check_id::count_no_ball_no_strike, -1},
    {check_id::count_two_strikes, -1},
    {check_id::finish_pose_right, static_cast<int>(check_id::finish_pose_left)},
    {check_id::finish_pose_left, static_cast<int>(check_id::finish_pose_right)},
    {check_id::pitch_end_right, static_cast<int>(check_id::pitch_end_left)},
    {check_id::pitch_end_left, static_cast<int>(check_id::pitch_end_right)},
    {check_id::play_ball, -1},
    {check_id::inning_top, static_cast<int>(check_id::inning_bottom)},
    {check_id::inning_bottom, static_cast<int>(check_id::inning_top)},
    {check_id::hand_right, static_cast<int>(check_id::hand_left)},
    {check_id::hand_left, static_cast<int>(check_id::hand_right)},
};

const char* check_name(check_id id) {
  static const char* const names[] = {
      "versus ground", "field ground", "time out",   "scoreboard",    "opponent's time out",
      "title",         "game set",     "warning",    "count 0-0",     "count two strikes",
      "finish right",  "finish left",  "end right",  "end left",      "play ball",
      "coarse",        "refinement",   "inning top", "inning bottom", "hand right",
      "hand left",     "pitcher name"};
  return names[static_cast<int>(id)];
}

struct figures {
  double lowest_hit = std::numeric_limits<double>::infinity();
  double highest_miss = -std::numeric_limits<double>::infinity();
  double least_lead = std::numeric_limits<double>::infinity();
  int hits = 0;
};

int shell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ensure_recording(const fs::path& tools, const fs::path& video, const std::string& arguments) {
  if (fs::exists(video)) return true;
  fs::create_directories(video.parent_path());
  std::cerr << "bench_compression: recording " << video.filename().string() << "..." << std::endl;
  std::string line = "'";
  line += (tools / "practice-game").string();
  line += "' record --seed 5 --innings 1 --out '";
  line += video.string();
  line += "' --truth '";
  line += fs::path(video).replace_extension(".jsonl").string();
  line += "'";
  line += arguments;
  line += " >/dev/null";
  return shell(line) == 0;
}

// Every lossy video against the lossless one, in one pass: per rate factor,
// per check.
std::vector<std::vector<figures>> measure(const fs::path& lossless,
                                          const std::vector<fs::path>& lossy, cv::Point origin,
                                          const std::vector<cv::Mat>& pictures, cv::Size game) {
  std::vector<std::vector<figures>> f(lossy.size(), std::vector<figures>(checks_measured.size()));
  cv::VideoCapture a(lossless.string(), cv::CAP_FFMPEG);
  std::vector<cv::VideoCapture> b;
  for (const fs::path& path : lossy) b.emplace_back(path.string(), cv::CAP_FFMPEG);
  cv::Mat fa, fb;
  std::vector<double> ra(check_count), rb(check_count);
  const auto scores = [&](const cv::Mat& frame, std::vector<double>& to) {
    for (const measured& m : checks_measured)
      to[static_cast<int>(m.id)] =
          check_score(frame, pictures[static_cast<int>(m.id)], check_of(m.id), origin, game);
  };
  while (a.read(fa)) {
    scores(fa, ra);
    for (std::size_t v = 0; v < b.size(); ++v) {
      if (!b[v].read(fb)) return f;
      scores(fb, rb);
      for (std::size_t i = 0; i < checks_measured.size(); ++i) {
        const measured& m = checks_measured[i];
        const int k = static_cast<int>(m.id);
        figures& g = f[v][i];
        if (!is_hit(ra[k], check_of(m.id).threshold)) {
          if (rb[k] == rb[k]) g.highest_miss = std::max(g.highest_miss, rb[k]);
          continue;
        }
        ++g.hits;
        g.lowest_hit = std::min(g.lowest_hit, rb[k]);
        if (m.other >= 0) g.least_lead = std::min(g.least_lead, rb[k] - rb[m.other]);
      }
    }
  }
  return f;
}

std::string number(double x) {
  if (!std::isfinite(x)) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.3f", x);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  cv::setNumThreads(1);
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
  const fs::path tools = fs::absolute(argv[0]).parent_path();
  std::vector<cv::Mat> pictures(check_count);
  for (const measured& m : checks_measured)
    pictures[static_cast<int>(m.id)] = load_data_picture(check_of(m.id).id);
  const cv::Mat game = load_data_picture(template_id::game_area);
  if (game.empty()) {
    std::cerr << "bench_compression: run it in a folder holding data/" << std::endl;
    return 2;
  }
  const bool with_desktop = argc > 1 && std::string(argv[1]) == "--desktop";
  for (const layout& l : layouts) {
    if (!with_desktop && l.origin != cv::Point(0, 0)) continue;
    const fs::path dir = tools / "bench-compression";
    const fs::path lossless = dir / (std::string(l.name) + "-ffv1.mkv");
    if (!ensure_recording(tools, lossless, std::string(" --codec ffv1") + l.arguments)) return 1;
    std::vector<fs::path> lossy;
    for (const int crf : crfs) {
      lossy.push_back(dir / (std::string(l.name) + "-crf" + std::to_string(crf) + ".mp4"));
      if (!ensure_recording(tools, lossy.back(),
                            " --codec h264 --crf " + std::to_string(crf) + l.arguments))
        return 1;
    }
    const std::vector<std::vector<figures>> columns =
        measure(lossless, lossy, l.origin, pictures, game.size());
    std::printf("\n%s: lowest true hit / highest true miss / least lead over the other candidate\n",
                l.name);
    std::printf("| check | threshold | hits |");
    for (const int crf : crfs) std::printf(" CRF %d |", crf);
    std::printf("\n|---|---|---|");
    for (std::size_t i = 0; i < std::size(crfs); ++i) std::printf("---|");
    std::printf("\n");
    for (std::size_t i = 0; i < checks_measured.size(); ++i) {
      const measured& m = checks_measured[i];
      std::printf("| %s | %.2f | %d |", check_name(m.id), check_of(m.id).threshold,
                  columns[0][i].hits);
      for (const auto& column : columns) {
        const figures& f = column[i];
        std::printf(" %s / %s", number(f.lowest_hit).c_str(), number(f.highest_miss).c_str());
        if (m.other >= 0) std::printf(" / %s", number(f.least_lead).c_str());
        std::printf(" |");
      }
      std::printf("\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
