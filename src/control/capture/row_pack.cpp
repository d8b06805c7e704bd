#include "control/capture/row_pack.h"

#include <cstddef>
#include <cstring>

#include <immintrin.h>

#include "control/capture/screen_capture.h"

namespace pitchlog {
namespace {

// The row packers. Each one may pack a row in place, or into memory that
// starts before the row, because a store never reaches source bytes not yet
// loaded: a store at pixel x of s bytes after loading l bytes from pixel x
// ends at 3x + s <= 4x + l, since s <= l in every packer. None writes past
// the row's 3 * width bytes.

// Four pixels (16 bytes in, 12 out) at a time in two 64-bit words.
void pack_row_scalar(const uint8_t* source, uint8_t* target, int width) {
  int x = 0;
  for (; x + 4 <= width; x += 4, source += 16, target += 12) {
    uint64_t low, high;  // pixels 0-1 and 2-3
    std::memcpy(&low, source, 8);
    std::memcpy(&high, source + 8, 8);
    const uint64_t first = (low & 0xFFFFFFu) | ((low >> 8) & 0xFFFFFF000000u) | (high << 48);
    const uint32_t last =
        static_cast<uint32_t>(((high >> 16) & 0xFFu) | ((high >> 24) & 0xFFFFFF00u));
    std::memcpy(target, &first, 8);
    std::memcpy(target + 8, &last, 4);
  }
  for (; x < width; ++x, source += 4, target += 3) {
    target[0] = source[0];
    target[1] = source[1];
    target[2] = source[2];
  }
}

// Sixteen pixels at a time: a byte shuffle drops the fourth byte of each
// pixel, and three 16-byte stores take the four 12-byte results.
__attribute__((target("ssse3"))) void pack_row_ssse3(const uint8_t* source, uint8_t* target,
                                                     int width) {
  const __m128i drop_x = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  for (; x + 16 <= width; x += 16, source += 64, target += 48) {
    const auto in = reinterpret_cast<const __m128i*>(source);
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(in), drop_x);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), drop_x);
    const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), drop_x);
    const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), drop_x);
    const auto out = reinterpret_cast<__m128i*>(target);
    _mm_storeu_si128(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
  }
  pack_row_scalar(source, target, width - x);
}

using pack_row_function = void (*)(const uint8_t*, uint8_t*, int);

// The packer of a kernel, the scalar one for a kernel the processor lacks.
pack_row_function packer_of(pack_kernel kernel) {
  if (!pack_kernel_supported(kernel)) return pack_row_scalar;
  switch (kernel) {
    case pack_kernel::scalar:
      return pack_row_scalar;
    case pack_kernel::ssse3:
      return pack_row_ssse3;
  }
  return pack_row_scalar;
}

}  // namespace

bool pack_kernel_supported(pack_kernel kernel) {
  __builtin_cpu_init();  // in case this runs before the library's own initialisation
  switch (kernel) {
    case pack_kernel::scalar:
      return true;
    case pack_kernel::ssse3:
      return __builtin_cpu_supports("ssse3");
  }
  return false;
}

pack_kernel best_pack_kernel() {
  static const pack_kernel best = [] {
    return pack_kernel_supported(pack_kernel::ssse3) ? pack_kernel::ssse3 : pack_kernel::scalar;
  }();
  return best;
}

void pack_bgrx_row(const uint8_t* source, uint8_t* target, int width, pack_kernel kernel) {
  packer_of(kernel)(source, target, width);
}

// Rows are packed top to bottom: a packed row starts no later than its source
// row (the stride is at most 4 * width, the source's bytes per line at least
// that) and its packer never overruns bytes not yet loaded, so every store
// lands on bytes already read. The padding is zeroed after the row is packed,
// inside the bytes the row's source occupied.
void pack_bgrx_rows_in_place(uint8_t* data, int width, int height, int bytes_per_line,
                             pack_kernel kernel) {
  const pack_row_function pack = packer_of(kernel);
  const size_t stride = static_cast<size_t>(bmp_stride(width));
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    uint8_t* target = data + y * stride;
    pack(data + static_cast<size_t>(y) * bytes_per_line, target, width);
    std::memset(target + row_bytes, 0, stride - row_bytes);  // the padding of every file is zero
  }
}
}  // namespace pitchlog
