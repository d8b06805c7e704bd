#pragma once
// Packing 32-bit B, G, R, X pixels into the 24-bit rows "capture.bmp" stores,
// with the widest packer the processor runs. Plain memory work: no display
// needed to run or test it.
#include <cstdint>

namespace pitchlog {

// Ways to pack 32-bit B, G, R, X pixels into 3-byte B, G, R pixels, slowest
// first; each gives the same bytes.
// (Wider AVX2 and AVX-512 packers measured no faster: the rows are bound by
// memory, not by the shuffles.)
enum class pack_kernel {
  scalar,  // four pixels in two 64-bit words
  ssse3,   // sixteen pixels: byte shuffles, three 16-byte stores
};

// Whether this processor (and system) runs `kernel`.
bool pack_kernel_supported(pack_kernel kernel);

// The fastest kernel this processor runs, chosen once per process.
pack_kernel best_pack_kernel();

// Packs one row of `width` pixels; writes exactly the 3 * width bytes of
// `target`. `target` may be `source` itself, or start before it.
void pack_bgrx_row(const uint8_t* source, uint8_t* target, int width,
                   pack_kernel kernel = best_pack_kernel());

// Packs an image of `height` rows of `bytes_per_line` bytes (at least
// 4 * width) into padded BGR rows inside the same memory, top row first,
// padding bytes zero.
void pack_bgrx_rows_in_place(uint8_t* data, int width, int height, int bytes_per_line,
                             pack_kernel kernel = best_pack_kernel());

}  // namespace pitchlog
