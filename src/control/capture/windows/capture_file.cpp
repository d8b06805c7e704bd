// "capture.bmp" written with KERNEL32's file calls: created without sharing,
// so no other process opens it half-written, and truncated when it exists.
#include "control/capture/capture_file.h"

#include <algorithm>

#include "control/capture/windows/windows_api.h"

namespace pitchlog {

namespace {

constexpr size_t file_header_size = 14;  // the info header follows it

// One WriteFile per block (more only past 1 GiB, which a DWORD cannot count).
bool write_block(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, size_t{1} << 30));
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, NULL) || written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

// The rows in file order: contiguous rows in one block, reversed rows one
// WriteFile per row, last row first (the GDI grab hands out contiguous rows).
bool write_rows(HANDLE file, const capture_rows& rows) {
  if (!rows.reversed) return write_block(file, rows.first, rows.stride * rows.count);
  for (size_t row = rows.count; row > 0;) {
    --row;
    if (!write_block(file, rows.first + row * rows.stride, rows.stride)) return false;
  }
  return true;
}

}  // namespace

bool write_capture_file(const uint8_t* header, size_t header_size, const capture_rows& rows) {
  HANDLE file = CreateFileW(L"capture.bmp", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  const size_t first = std::min(header_size, file_header_size);
  const bool written = write_block(file, header, first) &&
                       write_block(file, header + first, header_size - first) &&
                       write_rows(file, rows);
  CloseHandle(file);
  // A short file (a full disk) is removed rather than left to be loaded as a
  // picture of the screen.
  if (!written) DeleteFileW(L"capture.bmp");
  return written;
}

void remove_capture_file() {
  DeleteFileW(L"capture.bmp");
}

}  // namespace pitchlog
