#pragma once
// Reading and writing the pictures of a shot folder and of data/.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "pictures/shot_labels.h"

namespace pitchlog {

// The shots of a folder by label; empty where not shot.
using shot_set = std::array<cv::Mat, label_count>;

// A whole PNG file loaded as pitchlog loads its pictures (colour_load):
// empty, with the reason in `why`, when it is missing, cut short or cannot be
// decoded. A file cut short is caught before the decoder sees it, so no
// decoder message reaches the terminal.
cv::Mat read_png(const std::filesystem::path& path, std::string& why);

// Reads every "<label>.png" of `dir` into `shots`. False with one line in
// `error` when the folder cannot be listed, a PNG in it is named after no
// label, or a shot cannot be read. Files other than PNGs, and hidden files
// (the temporary files of a write), are left alone.
bool read_shot_folder(const std::filesystem::path& dir, shot_set& shots, std::string& error);

// One line naming the shots of `needed` missing from `shots`; empty when
// none is missing.
std::string missing_shots(const std::filesystem::path& dir, const shot_set& shots,
                          const std::vector<int>& needed);

// A path from UTF-8 text, such as the Japanese names of data/ (on Windows the
// C++ library widens a plain string byte by byte).
std::filesystem::path utf8_path(std::string_view utf8);

// Encodes `picture` as PNG and writes it to `path` (named in UTF-16 on
// Windows, which the encoder's own file calls cannot take). False when either
// fails; the file may then be partly written.
bool write_png_file(const std::filesystem::path& path, const cv::Mat& picture,
                    int compression = -1);

// Writes `picture` as PNG to `path` through a temporary file beside it, so
// that the path never holds half a picture, with the encoder's default
// compression or the given level (0 to 9). False with one line in `error`.
bool write_png(const std::filesystem::path& path, const cv::Mat& picture, std::string& error,
               int compression = -1);

// Writes `text` to `path` through a temporary file beside it.
bool write_text_file(const std::filesystem::path& path, const std::string& text,
                     std::string& error);

// A name beside `path` for a temporary file or folder, unique to this process.
std::filesystem::path temporary_beside(const std::filesystem::path& path, const std::string& tag);

}  // namespace pitchlog
