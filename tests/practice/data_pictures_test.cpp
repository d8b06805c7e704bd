// The data/ pictures: regenerated from the renderer they are byte for byte
// the committed ones, and each fits the region pitchlog matches it in.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "control/templates/checks.h"
#include "practice/data_pictures.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

using test_support::read_file;

TEST(data_pictures, regenerated_pictures_equal_the_committed_ones) {
  test_support::scoped_work_dir work;
  std::string error;
  ASSERT_TRUE(practice::write_data_pictures(work.path() / "data", error)) << error;
  std::set<std::string> committed;
  for (const auto& entry : fs::directory_iterator(test_support::source_data_dir())) {
    committed.insert(entry.path().filename().string());
  }
  EXPECT_EQ(committed.size(), practice::data_picture_table.size());
  for (const practice::data_picture& p : practice::data_picture_table) {
    const std::string name(p.file_name);
    EXPECT_TRUE(committed.count(name)) << name << " is not in data/";
    const std::string fresh = read_file(work.path() / "data" / name);
    ASSERT_FALSE(fresh.empty()) << name;
    EXPECT_EQ(fresh, read_file(test_support::source_data_dir() / name)) << name;
  }
}

// A picture is cut inside every region pitchlog matches it in (its own table
// of checks), so it is never larger than one; and it is cut at the size it has.
TEST(data_pictures, each_picture_is_cut_inside_its_regions) {
  const cv::Size game_size(720, 480);
  int checked = 0;
  for (const pitchlog::template_check& c : pitchlog::checks) {
    // The locator's regions are computed; the name crop is cut by pitchlog.
    if (c.w == pitchlog::computed || c.id == pitchlog::template_id::pitcher_name_crop) continue;
    const std::string_view file = pitchlog::template_file_names[static_cast<int>(c.id)];
    SCOPED_TRACE(std::string(file));
    const auto row =
        std::find_if(practice::data_picture_table.begin(), practice::data_picture_table.end(),
                     [&](const practice::data_picture& p) { return p.file_name == file; });
    ASSERT_NE(row, practice::data_picture_table.end());
    const cv::Mat picture =
        cv::imread((test_support::source_data_dir() / file).string(), cv::IMREAD_COLOR);
    ASSERT_EQ(picture.size(), row->cut.size());
    const cv::Rect region = pitchlog::check_region(c, {0, 0}, game_size);
    EXPECT_EQ(row->cut & region, row->cut) << "cut " << row->cut << ", region " << region;
    ++checked;
  }
  EXPECT_EQ(checked, 19);  // every check but the locator's two and the name crop
  const cv::Mat whole = cv::imread((test_support::source_data_dir() / "低め.png").string());
  const cv::Mat half = cv::imread((test_support::source_data_dir() / "resize-低め.png").string());
  EXPECT_EQ(whole.size(), cv::Size(720, 480));
  EXPECT_EQ(half.size(), cv::Size(360, 240));
}

}  // namespace
