#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>
#include <cerrno>

#include "control/capture/capture_file.h"
#include "control/capture/screen_capture.h"

namespace pitchlog {

namespace {

// Most pieces one writev takes.
constexpr size_t batch_size = IOV_MAX;

// Writes the pieces in order, resuming after short writes. The pieces are
// used up in the process.
bool write_all(int fd, iovec* part, size_t left) {
  while (left > 0) {
    if (part->iov_len == 0) {
      ++part;
      --left;
      continue;
    }
    const ssize_t n = writev(fd, part, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // nothing written for a non-empty request would repeat forever
    size_t done = static_cast<size_t>(n);
    while (left > 0 && done >= part->iov_len) {
      done -= part->iov_len;
      ++part;
      --left;
    }
    if (left > 0) {
      part->iov_base = static_cast<uint8_t*>(part->iov_base) + done;
      part->iov_len -= done;
    }
  }
  return true;
}

// The header, then the rows: contiguous rows in one piece; reversed rows
// gathered one piece per row, last row first, a batch of pieces per writev,
// so that no row is moved in memory.
bool write_header_and_rows(int fd, const uint8_t* header, size_t header_size,
                           const capture_rows& rows) {
  iovec batch[batch_size];
  size_t used = 0;
  batch[used++] = {const_cast<uint8_t*>(header), header_size};
  if (!rows.reversed) {
    batch[used++] = {const_cast<uint8_t*>(rows.first), rows.stride * rows.count};
    return write_all(fd, batch, used);
  }
  for (size_t row = rows.count; row > 0 || used > 0;) {
    for (; row > 0 && used < batch_size; ++used) {
      --row;
      batch[used] = {const_cast<uint8_t*>(rows.first + row * rows.stride), rows.stride};
    }
    if (!write_all(fd, batch, used)) return false;
    used = 0;
  }
  return true;
}

}  // namespace

bool write_capture_file(const uint8_t* header, size_t header_size, const capture_rows& rows) {
  // Overwriting in place and cutting the tail afterwards keeps the file's
  // blocks and page cache; truncating first would free and refill them at
  // every capture. The result is the same file.
  const int fd = open(capture_file_name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const off_t length = static_cast<off_t>(header_size + rows.stride * rows.count);
  bool ok = write_header_and_rows(fd, header, header_size, rows) && ftruncate(fd, length) == 0;
  ok = close(fd) == 0 && ok;
  // A half-written picture mixes two screens: better no file than that one.
  if (!ok) unlink(capture_file_name);
  return ok;
}

void remove_capture_file() {
  unlink(capture_file_name);
}

}  // namespace pitchlog
