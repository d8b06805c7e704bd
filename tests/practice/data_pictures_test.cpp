// The data/ pictures: regenerated from the renderer they are byte for byte
// the committed ones, and each fits the region pitchlog matches it in.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "practice/data_pictures.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::string file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DataPictures, RegeneratedPicturesEqualTheCommittedOnes) {
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
    const std::string fresh = file_bytes(work.path() / "data" / name);
    ASSERT_FALSE(fresh.empty()) << name;
    EXPECT_EQ(fresh, file_bytes(test_support::source_data_dir() / name)) << name;
  }
}

// Where pitchlog matches each picture (game-picture pixels); a picture is cut
// inside every region it is matched in, so it is never larger than one.
struct match_region {
  const char* file;
  cv::Rect regions[2];
};

// clang-format off
const match_region match_regions[] = {
  {"０ボール０ストライク.png",                     {{0, 0, 100, 130}}},
  {"２ストライク.png",                             {{0, 0, 100, 130}}},
  {"グラウンド（対戦）画面・一部.png",             {{10, 70, 40, 80}}},
  {"グラウンド（フィールド）画面・一部.png",       {{0, 230, 70, 60}}},
  {"タイム画面・一部.png",                         {{10, 0, 90, 60}}},
  {"スコアボード画面・一部.png",                   {{370, 70, 60, 50}}},
  {"タイトル画面・一部.png",                       {{170, 20, 130, 100}}},
  {"警告画面・一部.png",                           {{280, 40, 130, 90}}},
  {"投球フィニッシュポーズ（右投手）・一部.png",   {{290, 150, 110, 100}, {290, 160, 120, 90}}},
  {"投球フィニッシュポーズ（左投手）・一部.png",   {{290, 150, 110, 100}, {290, 160, 120, 90}}},
  {"ゲームセット画面・一部.png",                   {{70, 310, 110, 40}}},
  {"プレイボール画面・一部.png",                   {{0, 0, 720, 480}}},
  {"相手のタイム待ち画面・一部.png",               {{160, 210, 130, 50}}},
  {"オモテ.png",                                   {{60, 10, 80, 40}}},
  {"ウラ.png",                                     {{60, 10, 80, 40}}},
  {"右投手.png",                                   {{550, 20, 130, 50}}},
  {"左投手.png",                                   {{550, 20, 130, 50}}},
};
// clang-format on

TEST(DataPictures, EachPictureIsCutInsideItsRegions) {
  for (const match_region& m : match_regions) {
    const auto row =
        std::find_if(practice::data_picture_table.begin(), practice::data_picture_table.end(),
                     [&](const practice::data_picture& p) { return p.file_name == m.file; });
    ASSERT_NE(row, practice::data_picture_table.end()) << m.file;
    const cv::Mat picture =
        cv::imread((test_support::source_data_dir() / m.file).string(), cv::IMREAD_COLOR);
    ASSERT_EQ(picture.size(), row->cut.size()) << m.file;
    for (const cv::Rect& region : m.regions) {
      if (region.empty()) continue;
      EXPECT_EQ(row->cut & region, row->cut) << m.file << " cut " << row->cut;
    }
  }
  const cv::Mat whole = cv::imread((test_support::source_data_dir() / "低め.png").string());
  const cv::Mat half = cv::imread((test_support::source_data_dir() / "resize-低め.png").string());
  EXPECT_EQ(whole.size(), cv::Size(720, 480));
  EXPECT_EQ(half.size(), cv::Size(360, 240));
}

}  // namespace
