#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>
#include <cerrno>

#include "control/capture_file.h"
#include "control/screen_capture.h"

namespace pitchlog {

namespace {

// Writes both blocks at the start of the file, resuming after short writes.
bool write_all(int fd, const uint8_t* header, size_t header_size, const uint8_t* pixels,
               size_t pixel_size) {
  iovec parts[2] = {{const_cast<uint8_t*>(header), header_size},
                    {const_cast<uint8_t*>(pixels), pixel_size}};
  iovec* part = parts;
  int left = 2;
  while (left > 0) {
    if (part->iov_len == 0) {
      ++part;
      --left;
      continue;
    }
    const ssize_t n = writev(fd, part, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
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

}  // namespace

bool write_capture_file(const uint8_t* header, size_t header_size, const uint8_t* pixels,
                        size_t pixel_size) {
  // Overwriting in place and cutting the tail afterwards keeps the file's
  // blocks and page cache; truncating first would free and refill them at
  // every capture. The result is the same file.
  const int fd = open(capture_file_name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const off_t length = static_cast<off_t>(header_size + pixel_size);
  bool ok = write_all(fd, header, header_size, pixels, pixel_size) && ftruncate(fd, length) == 0;
  ok = close(fd) == 0 && ok;
  // A half-written picture mixes two screens: better no file than that one.
  if (!ok) unlink(capture_file_name);
  return ok;
}

void remove_capture_file() {
  unlink(capture_file_name);
}

}  // namespace pitchlog
