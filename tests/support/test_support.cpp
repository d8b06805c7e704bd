#include "support/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace test_support {

scoped_work_dir::scoped_work_dir() : previous_(fs::current_path()) {
  std::random_device rd;
  for (;;) {
    dir_ = fs::temp_directory_path() / ("pitchlog-test-" + std::to_string(rd()));
    if (fs::create_directory(dir_)) break;
  }
  fs::current_path(dir_);
}

scoped_work_dir::~scoped_work_dir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  fs::remove_all(dir_, ec);
}

fs::path source_data_dir() {
  return fs::path(PITCHLOG_SOURCE_DIR) / "data";
}

int count_of(const std::string& text, const std::string& what) {
  if (what.empty()) return 0;
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int shm_segments_of(pid_t pid) {
  // Columns: key shmid perms size cpid lpid ...
  std::ifstream shm("/proc/sysvipc/shm");
  std::string line;
  std::getline(shm, line);
  int n = 0;
  while (std::getline(shm, line)) {
    std::istringstream row(line);
    long key, id, perms, size, cpid;
    if (row >> key >> id >> perms >> size >> cpid && cpid == pid) ++n;
  }
  return n;
}

}  // namespace test_support
