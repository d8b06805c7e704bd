#pragma once
// Helpers shared by the test suites: a temporary working folder, an Xvfb
// server, and small readers of files and process resources.
#include <sys/types.h>
#include <filesystem>
#include <string>

namespace test_support {

// Creates a fresh temporary folder and makes it the working folder; on
// destruction goes back and removes it.
class scoped_work_dir {
 public:
  scoped_work_dir();
  ~scoped_work_dir();
  scoped_work_dir(const scoped_work_dir&) = delete;
  scoped_work_dir& operator=(const scoped_work_dir&) = delete;
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::filesystem::path previous_;
};

// Starts Xvfb on a free display number with one screen of the given size and
// 24-bit depth; stops it on destruction. display() is empty when it could not start.
class xvfb_server {
 public:
  xvfb_server(int width, int height);
  ~xvfb_server();
  xvfb_server(const xvfb_server&) = delete;
  xvfb_server& operator=(const xvfb_server&) = delete;
  const std::string& display() const { return display_; }  // e.g. ":57"

 private:
  std::string display_;
  pid_t pid_ = -1;
};

// The repository's data/ folder.
std::filesystem::path source_data_dir();

// The whole file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// How often `what` occurs in `text`, overlaps included.
int count_of(const std::string& text, const std::string& what);

// System V shared-memory segments created by process `pid` that still exist.
int shm_segments_of(pid_t pid);

}  // namespace test_support
