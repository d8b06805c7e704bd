// The capture file: BMP layout byte for byte, the bottom-up row order from
// rows held either way up, cutting an older longer file, and what a failed
// write or grab leaves behind.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace pitchlog;

namespace {

std::vector<uint8_t> read_file(const char* name) {
  const std::string bytes = test_support::read_file(name);
  return {bytes.begin(), bytes.end()};
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t u16_at(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

struct bmp_size_case {
  int32_t width, height, stride;
  uint32_t image_size, file_size;
};

void PrintTo(const bmp_size_case& c, std::ostream* os) {
  *os << c.width << "x" << c.height;
}

class bmp_layout : public ::testing::TestWithParam<bmp_size_case> {};

TEST_P(bmp_layout, header_length_and_pixels_including_padding) {
  const bmp_size_case c = GetParam();
  test_support::scoped_work_dir dir;
  EXPECT_EQ(bmp_stride(c.width), c.stride);
  // Random bytes everywhere, padding included: the file must carry them as they are.
  const std::vector<uint8_t> pixels = random_bytes(c.image_size, c.width);
  ASSERT_TRUE(write_capture_bmp(c.width, c.height, pixels.data()));

  const std::vector<uint8_t> file = read_file("capture.bmp");
  ASSERT_EQ(file.size(), c.file_size);
  EXPECT_EQ(file[0], 0x42);
  EXPECT_EQ(file[1], 0x4D);
  EXPECT_EQ(u32_at(file, 2), c.file_size);
  EXPECT_EQ(u32_at(file, 6), 0u);  // both reserved fields
  EXPECT_EQ(u32_at(file, 10), 54u);
  EXPECT_EQ(u32_at(file, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(u32_at(file, 18)), c.width);
  EXPECT_EQ(static_cast<int32_t>(u32_at(file, 22)), c.height);
  EXPECT_EQ(u16_at(file, 26), 1);
  EXPECT_EQ(u16_at(file, 28), 24);
  EXPECT_EQ(u32_at(file, 34), c.image_size);
  for (size_t at : {30, 38, 42, 46, 50}) EXPECT_EQ(u32_at(file, at), 0u) << "offset " << at;
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + 54));
}

INSTANTIATE_TEST_SUITE_P(screens, bmp_layout,
                         ::testing::Values(bmp_size_case{1920, 1080, 5760, 6220800, 6220854},
                                           bmp_size_case{1366, 768, 4100, 3148800, 3148854},
                                           bmp_size_case{1, 1, 4, 4, 58},
                                           bmp_size_case{1921, 1081, 5764, 6230884, 6230938}));

TEST(capture_file, first_stored_row_is_the_bottom_row) {
  test_support::scoped_work_dir dir;
  const int width = 7, height = 5;  // 21 bytes a row, 3 of padding
  const int32_t stride = bmp_stride(width);
  std::vector<uint8_t> rows(static_cast<size_t>(stride) * height, 0xEE);
  for (int stored = 0; stored < height; ++stored)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        rows[stored * stride + x * 3 + c] = uint8_t(stored * 40 + x * 5 + c);
  ASSERT_TRUE(write_capture_bmp(width, height, rows.data()));

  for (const cv::Mat& loaded : {colour_load("capture.bmp"), as_stored_load("capture.bmp")}) {
    ASSERT_EQ(loaded.type(), CV_8UC3);
    ASSERT_EQ(loaded.size(), cv::Size(width, height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(loaded.at<cv::Vec3b>(y, x)[c], rows[(height - 1 - y) * stride + x * 3 + c])
              << "screen row " << y << " column " << x;
  }
}

TEST(capture_file, longer_old_file_is_cut_to_the_new_length) {
  test_support::scoped_work_dir dir;
  const std::vector<uint8_t> old_bytes = random_bytes(1 << 20, 7);
  std::ofstream("capture.bmp", std::ios::binary)
      .write(reinterpret_cast<const char*>(old_bytes.data()), old_bytes.size());
  const std::vector<uint8_t> pixels = random_bytes(static_cast<size_t>(bmp_stride(3)) * 2, 8);
  ASSERT_TRUE(write_capture_bmp(3, 2, pixels.data()));

  const std::vector<uint8_t> file = read_file("capture.bmp");
  ASSERT_EQ(file.size(), 54u + 24u);
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + 54));
}

TEST(capture_file, refuses_sizes_no_bmp_can_hold) {
  test_support::scoped_work_dir dir;
  const uint8_t pixel[4] = {};
  EXPECT_FALSE(write_capture_bmp(0, 10, pixel));
  EXPECT_FALSE(write_capture_bmp(10, -1, pixel));
  EXPECT_FALSE(write_capture_bmp(1 << 30, 1 << 10, pixel));  // image size past 4 GiB
  EXPECT_FALSE(write_capture_bmp(1, 1, nullptr));
  EXPECT_FALSE(fs::exists("capture.bmp"));
}

// The same rows held top row first: written last row first, directly and
// through capture_screen, the file is byte for byte the bottom-up one, also
// over an older, longer file. Many short rows cross the writer's batches.
struct top_down_case {
  int32_t width, height;
};

class top_down_rows : public ::testing::TestWithParam<top_down_case> {};

TEST_P(top_down_rows, give_the_same_file_as_bottom_up_rows) {
  const auto [width, height] = GetParam();
  test_support::scoped_work_dir dir;
  const size_t stride = static_cast<size_t>(bmp_stride(width));
  const std::vector<uint8_t> bottom_up = random_bytes(stride * height, width * 31 + height);
  std::vector<uint8_t> top_down(bottom_up.size());
  for (int32_t row = 0; row < height; ++row)
    std::copy_n(bottom_up.begin() + row * stride, stride,
                top_down.begin() + (height - 1 - row) * stride);

  ASSERT_TRUE(write_capture_bmp(width, height, bottom_up.data()));
  const std::vector<uint8_t> expected = read_file("capture.bmp");
  ASSERT_EQ(expected.size(), 54 + bottom_up.size());

  const std::vector<uint8_t> old_bytes = random_bytes(expected.size() + 4099, 3);
  const auto write_old_file = [&] {
    std::ofstream("capture.bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(old_bytes.data()), old_bytes.size());
  };
  write_old_file();
  ASSERT_TRUE(write_capture_bmp_top_down(width, height, top_down.data()));
  EXPECT_TRUE(read_file("capture.bmp") == expected) << "write_capture_bmp_top_down";

  write_old_file();
  platform p;
  p.source.grab = [&](screen_grab& grab) {
    grab = {width, height, top_down.data(), true};
    return true;
  };
  p.source.pause = [](int) {};
  EXPECT_EQ(capture_screen(p), capture_status::written);
  EXPECT_TRUE(read_file("capture.bmp") == expected) << "capture_screen";
}

INSTANTIATE_TEST_SUITE_P(sizes, top_down_rows,
                         ::testing::Values(top_down_case{1, 1}, top_down_case{3, 2},
                                           top_down_case{2, 3}, top_down_case{7, 5},
                                           top_down_case{1366, 768}, top_down_case{1921, 1081},
                                           top_down_case{1920, 1080}, top_down_case{1, 2049}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

// A file that cannot be written whole (here: past the process's file size
// limit, which cuts the write short and then fails it) is removed, an old
// picture with it; a limit the file just fits in lets it through.
class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
  }
  ~file_size_limit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  file_size_limit(const file_size_limit&) = delete;
  file_size_limit& operator=(const file_size_limit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = SIG_DFL;
};

TEST(capture_file, a_write_cut_short_removes_the_file) {
  constexpr int32_t width = 5, height = 2047;  // 16-byte rows, two batches of rows
  const size_t file_size = 54 + 16 * height;
  struct limit_case {
    const char* where;
    rlim_t limit;
  };
  const limit_case limits[] = {
      {"no byte", 0},
      {"inside the header", 30},
      {"inside a row", 54 + 16 * 100 + 7},
      {"inside the second batch", 54 + 16 * 1500 + 3},
      {"one byte short", file_size - 1},
      {"exactly the file", file_size},
  };
  const std::vector<uint8_t> pixels = random_bytes(16 * height, 5);
  for (const bool top_down : {false, true}) {
    for (const limit_case& c : limits) {
      test_support::scoped_work_dir dir;
      std::ofstream("capture.bmp") << "an old picture";
      const bool fits = c.limit >= file_size;
      bool written = false;
      {
        file_size_limit limit(c.limit);
        written = top_down ? write_capture_bmp_top_down(width, height, pixels.data())
                           : write_capture_bmp(width, height, pixels.data());
      }
      EXPECT_EQ(written, fits) << c.where << (top_down ? " top-down" : " bottom-up");
      EXPECT_EQ(fs::exists("capture.bmp"), fits) << c.where;
      if (fits) {
        EXPECT_EQ(fs::file_size("capture.bmp"), file_size);
      }
    }
  }
}

// capture_screen with a fake grab: what it says, what is left in
// capture.bmp, and the pause.
struct grab_case {
  const char* name;
  bool grab_ok;
  int32_t width, height;
  bool capture_is_a_folder;  // so that no file can be written
  capture_status expected;
};

void PrintTo(const grab_case& c, std::ostream* os) {
  *os << c.name;
}

class capture_screen_outcome : public ::testing::TestWithParam<grab_case> {};

TEST_P(capture_screen_outcome, leaves_only_a_fresh_picture_and_always_pauses) {
  const grab_case c = GetParam();
  test_support::scoped_work_dir dir;
  if (c.capture_is_a_folder) {
    fs::create_directory("capture.bmp");
  } else {
    std::ofstream("capture.bmp") << "an old picture";
  }
  const std::vector<uint8_t> pixels(static_cast<size_t>(bmp_stride(4)) * 3, 0x5A);
  std::vector<int> pauses;
  int grabs = 0;
  platform p;
  p.source.grab = [&](screen_grab& grab) {
    ++grabs;
    grab = {c.width, c.height, pixels.data()};
    return c.grab_ok;
  };
  p.source.pause = [&](int ms) { pauses.push_back(ms); };

  EXPECT_EQ(capture_screen(p), c.expected);
  const bool file_expected = c.expected == capture_status::written;
  EXPECT_EQ(grabs, 1);
  EXPECT_EQ(pauses, std::vector<int>{60});
  EXPECT_EQ(fs::is_regular_file("capture.bmp"), file_expected);
  if (file_expected) {
    EXPECT_EQ(colour_load("capture.bmp").size(), cv::Size(4, 3));
  }
}

INSTANTIATE_TEST_SUITE_P(
    grabs, capture_screen_outcome,
    ::testing::Values(grab_case{"grabbed", true, 4, 3, false, capture_status::written},
                      grab_case{"grab_failed", false, 4, 3, false, capture_status::no_grab},
                      grab_case{"grab_of_no_pixels", true, 0, 0, false, capture_status::no_grab},
                      grab_case{"write_failed", true, 4, 3, true, capture_status::file_failed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
