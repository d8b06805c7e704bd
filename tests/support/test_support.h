#pragma once
// Helpers shared by the test suites: a temporary working folder, and small
// readers of files and process resources. Processes, Xvfb, waiting and
// reading files come from practice/process.h, which the benchmarks share.
#include <sys/types.h>
#include <filesystem>
#include <string>

#include "practice/process.h"

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

// The repository's data/ folder.
std::filesystem::path source_data_dir();

using practice::read_file;
using practice::wait_for_file;
using practice::wait_until;

// How often `what` occurs in `text`, overlaps included.
int count_of(const std::string& text, const std::string& what);

// System V shared-memory segments created by process `pid` that still exist.
int shm_segments_of(pid_t pid);

}  // namespace test_support
