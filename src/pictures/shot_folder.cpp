#include "pictures/shot_folder.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "control/templates/template_store.h"

namespace pitchlog {

namespace fs = std::filesystem;

namespace {

uint32_t big_endian(const std::string& bytes, size_t at) {
  return (uint32_t{static_cast<uint8_t>(bytes[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8) |
         uint32_t{static_cast<uint8_t>(bytes[at + 3])};
}

// Why the bytes are not a whole PNG (signature, chunks up to IEND); empty
// when they are.
std::string png_structure_problem(const std::string& bytes) {
  static const std::string signature("\x89PNG\r\n\x1a\n", 8);
  if (bytes.compare(0, signature.size(), signature) != 0) return "is not a PNG file";
  size_t at = signature.size();
  for (;;) {
    if (bytes.size() - at < 12) return "is cut short";
    const uint64_t length = big_endian(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (length > bytes.size() - at - 12) return "is cut short";
    at += 12 + length;
    if (type == "IEND") return {};
  }
}

}  // namespace

cv::Mat read_png(const fs::path& path, std::string& why) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    why = path.string() + " is missing";
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) {
    why = "cannot read " + path.string();
    return {};
  }
  if (const std::string problem = png_structure_problem(bytes); !problem.empty()) {
    why = path.string() + " " + problem;
    return {};
  }
  cv::Mat picture;
  try {
    picture = colour_load(path.string());
  } catch (const cv::Exception&) {
    picture.release();
  }
  if (picture.empty()) why = "cannot decode " + path.string();
  return picture;
}

bool read_shot_folder(const fs::path& dir, shot_set& shots, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    error = "the shot folder " + dir.string() + " does not exist";
    return false;
  }
  std::vector<fs::path> files;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    // Hidden files are the temporary files of a write in progress.
    const std::string name = it->path().filename().string();
    if (it->path().extension() == ".png" && name[0] != '.') files.push_back(it->path());
  }
  if (ec) {
    error = "cannot list " + dir.string() + ": " + ec.message();
    return false;
  }
  for (const fs::path& file : files) {
    const std::optional<int> label = label_index(file.stem().string());
    if (!label) {
      error = file.string() + ": \"" + file.stem().string() +
              "\" is no label (labels: " + label_list() + ")";
      return false;
    }
    shots[*label] = read_png(file, error);
    if (shots[*label].empty()) return false;
  }
  return true;
}

std::string missing_shots(const fs::path& dir, const shot_set& shots,
                          const std::vector<int>& needed) {
  std::string missing;
  for (int label : needed) {
    if (!shots[label].empty()) continue;
    missing += (missing.empty() ? "" : ", ") + std::string(shot_labels[label].name) + ".png";
  }
  if (missing.empty()) return {};
  return "missing in " + dir.string() + ": " + missing;
}

fs::path temporary_beside(const fs::path& path, const std::string& tag) {
  std::string name = ".";
  name += path.filename().string();
  name += ".";
  name += tag;
  name += "-";
  name += std::to_string(getpid());
  return path.parent_path() / name;
}

fs::path utf8_path(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool write_png_file(const fs::path& path, const cv::Mat& picture, int compression) {
  std::vector<uchar> bytes;
  try {
    std::vector<int> options;
    if (compression >= 0) options = {cv::IMWRITE_PNG_COMPRESSION, compression};
    if (!cv::imencode(".png", picture, bytes, options)) return false;
  } catch (const cv::Exception&) {
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool write_png(const fs::path& path, const cv::Mat& picture, std::string& error, int compression) {
  fs::path temporary = temporary_beside(path, "writing");
  temporary += ".png";
  const bool written = write_png_file(temporary, picture, compression);
  std::error_code ec;
  if (written) fs::rename(temporary, path, ec);
  if (!written || ec) {
    fs::remove(temporary, ec);
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool write_text_file(const fs::path& path, const std::string& text, std::string& error) {
  const fs::path temporary = temporary_beside(path, "writing");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      error = "cannot write " + path.string();
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace pitchlog
