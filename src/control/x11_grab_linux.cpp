#include "control/x11_grab.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <immintrin.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "control/screen_capture.h"

namespace pitchlog {

struct x11_grabber {
  Display* display = nullptr;
  std::string display_name;  // as the user knows it, for messages
  x11_fetch fetch = x11_fetch::shared_memory;
  bool connection_lost = false;   // set by Xlib's I/O error exit handler
  std::ostream* error = nullptr;  // where a failed grab is reported, once per outage
  bool failure_reported = false;

  // The server image: the attached segment's image (shared_memory), or the
  // last image XGetImage returned (get_image).
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
  bool segment_attached = false;

  int root_width = 0;  // the screen size as last known; 0 until asked
  int root_height = 0;

  // True once the fetched image has been turned into BGR rows in place; the
  // next fetch refills it.
  bool converted = false;

  // Only for servers without the common 32-bit format: top-down padded rows,
  // reused from grab to grab.
  std::vector<uint8_t> bgr;
  int32_t bgr_width = 0;
  int32_t bgr_height = 0;
};

namespace {

// Xlib reports protocol errors through one process-wide callback without a
// user pointer; a trap installs it only around this file's own requests and
// puts the previous handlers back afterwards.
int trapped_error_code = 0;

int on_x_error(Display*, XErrorEvent* event) {
  trapped_error_code = event->error_code;
  return 0;
}

// Returning (instead of Xlib's default of exiting the process) lets the exit
// handler below mark the connection lost; the grab then fails normally.
int on_x_io_error(Display*) {
  return 0;
}

void on_x_io_error_exit(Display*, void* grabber) {
  static_cast<x11_grabber*>(grabber)->connection_lost = true;
}

class x_error_trap {
 public:
  x_error_trap()
      : previous_(XSetErrorHandler(on_x_error)), previous_io_(XSetIOErrorHandler(on_x_io_error)) {
    trapped_error_code = 0;
  }
  ~x_error_trap() {
    XSetErrorHandler(previous_);
    XSetIOErrorHandler(previous_io_);
  }
  x_error_trap(const x_error_trap&) = delete;
  x_error_trap& operator=(const x_error_trap&) = delete;
  bool failed() const { return trapped_error_code != 0; }

 private:
  XErrorHandler previous_;
  XIOErrorHandler previous_io_;
};

std::string quoted_display_name(const char* name) {
  return std::string("\"") + name + "\"";
}

void release_server_image(x11_grabber& g) {
  if (g.segment_attached) {
    if (!g.connection_lost) {
      x_error_trap trap;
      XShmDetach(g.display, &g.segment);
      XSync(g.display, False);
    }
    g.segment_attached = false;
  }
  if (g.image != nullptr) {
    if (g.segment.shmaddr != nullptr) g.image->data = nullptr;  // the segment is not Xlib's to free
    XDestroyImage(g.image);
    g.image = nullptr;
  }
  if (g.segment.shmaddr != nullptr) {
    shmdt(g.segment.shmaddr);
    g.segment.shmaddr = nullptr;
  }
  g.segment.shmid = -1;
}

// Makes a shared image of the root's size and attaches its segment to the
// server. The segment is marked for removal at once, so it disappears with
// the last detach even if the process dies.
bool make_shared_image(x11_grabber& g, int width, int height) {
  const int screen = DefaultScreen(g.display);
  g.image =
      XShmCreateImage(g.display, DefaultVisual(g.display, screen), DefaultDepth(g.display, screen),
                      ZPixmap, nullptr, &g.segment, width, height);
  if (g.image == nullptr) return false;
  g.segment.shmid =
      shmget(IPC_PRIVATE, static_cast<size_t>(g.image->bytes_per_line) * height, IPC_CREAT | 0600);
  if (g.segment.shmid < 0) return false;
  void* address = shmat(g.segment.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(g.segment.shmid, IPC_RMID, nullptr);
    return false;
  }
  g.segment.shmaddr = g.image->data = static_cast<char*>(address);
  g.segment.readOnly = False;
  bool attached = false;
  {
    x_error_trap trap;
    attached = XShmAttach(g.display, &g.segment) != 0;
    XSync(g.display, False);
    attached = attached && !trap.failed() && !g.connection_lost;
  }
  shmctl(g.segment.shmid, IPC_RMID, nullptr);
  g.segment_attached = attached;
  return attached;
}

// The root window's size, asked of the server.
bool root_size(x11_grabber& g, int& width, int& height) {
  Window root_return = 0;
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  x_error_trap trap;
  const Status ok = XGetGeometry(g.display, DefaultRootWindow(g.display), &root_return, &x, &y, &w,
                                 &h, &border, &depth);
  if (ok == 0 || trap.failed() || g.connection_lost || w == 0 || h == 0) return false;
  width = g.root_width = static_cast<int>(w);
  height = g.root_height = static_cast<int>(h);
  return true;
}

// The root window's size without a round trip: the server announces every
// resize of the root with a ConfigureNotify, which is already queued or
// waiting on the socket by the time the next grab starts.
bool known_root_size(x11_grabber& g, int& width, int& height) {
  XEvent event;
  x_error_trap trap;  // reading the socket is where a vanished server shows
  while (!g.connection_lost &&
         XCheckWindowEvent(g.display, DefaultRootWindow(g.display), StructureNotifyMask, &event)) {
    if (event.type == ConfigureNotify) {
      g.root_width = event.xconfigure.width;
      g.root_height = event.xconfigure.height;
    }
  }
  if (g.connection_lost) return false;
  if (g.root_width <= 0 || g.root_height <= 0) return root_size(g, width, height);
  width = g.root_width;
  height = g.root_height;
  return true;
}

bool fetch_shared(x11_grabber& g, int width, int height) {
  if (g.image == nullptr || g.image->width != width || g.image->height != height) {
    release_server_image(g);
    if (!make_shared_image(g, width, height)) {
      release_server_image(g);
      return false;
    }
  }
  g.converted = false;
  x_error_trap trap;
  const Status ok = XShmGetImage(g.display, DefaultRootWindow(g.display), g.image, 0, 0, AllPlanes);
  return ok != 0 && !trap.failed() && !g.connection_lost;
}

bool fetch_plain(x11_grabber& g, int width, int height) {
  release_server_image(g);
  g.converted = false;
  x_error_trap trap;
  g.image = XGetImage(g.display, DefaultRootWindow(g.display), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), AllPlanes, ZPixmap);
  return g.image != nullptr && !trap.failed() && !g.connection_lost;
}

bool is_bgrx(const XImage& image) {
  return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && image.red_mask == 0xFF0000 &&
         image.green_mask == 0xFF00 && image.blue_mask == 0xFF;
}

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

// Eight pixels at a time: a shuffle packs each 16-byte lane into its first
// 12 bytes, a dword permute joins the two lanes, and one 32-byte store puts
// the 24 bytes followed by 8 bytes of no value, which the next store (or the
// tail) overwrites. The loop stops while those 8 bytes still fall inside the
// row: 3x + 32 <= 3 * width.
__attribute__((target("avx2"))) void pack_row_avx2(const uint8_t* source, uint8_t* target,
                                                   int width) {
  const __m256i drop_x =
      _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                       0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  int x = 0;
  for (; x + 11 <= width; x += 8, source += 32, target += 24) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(in, drop_x), join);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), packed);
  }
  pack_row_scalar(source, target, width - x);
}

// Source byte of each packed byte, for a block of sixteen pixels.
constexpr std::array<uint8_t, 64> vbmi_drop_x = [] {
  std::array<uint8_t, 64> index{};
  for (int i = 0; i < 48; ++i) index[i] = static_cast<uint8_t>(i / 3 * 4 + i % 3);
  return index;
}();

// Sixteen pixels at a time: one byte permute across the whole register and
// a store masked to its first 48 bytes; the last pixels go through a masked
// load and store of the same kind, which touch no byte outside the row. (The
// zeroing permute: the plain one starts from a register GCC calls undefined.)
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void pack_row_avx512_vbmi(
    const uint8_t* source, uint8_t* target, int width) {
  const __m512i drop_x = _mm512_loadu_si512(vbmi_drop_x.data());
  constexpr __mmask64 packed_block = (uint64_t{1} << 48) - 1;
  int x = 0;
  for (; x + 16 <= width; x += 16, source += 64, target += 48) {
    const __m512i in = _mm512_loadu_si512(source);
    _mm512_mask_storeu_epi8(target, packed_block,
                            _mm512_maskz_permutexvar_epi8(packed_block, drop_x, in));
  }
  if (const int left = width - x; left > 0) {  // fewer than 16 pixels
    const __mmask64 loaded = (uint64_t{1} << (4 * left)) - 1;
    const __mmask64 stored = (uint64_t{1} << (3 * left)) - 1;
    const __m512i in = _mm512_maskz_loadu_epi8(loaded, source);
    _mm512_mask_storeu_epi8(target, stored, _mm512_maskz_permutexvar_epi8(stored, drop_x, in));
  }
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
    case pack_kernel::avx2:
      return pack_row_avx2;
    case pack_kernel::avx512_vbmi:
      return pack_row_avx512_vbmi;
  }
  return pack_row_scalar;
}

// Scales the channel under `mask` of a pixel value to 8 bits.
uint8_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
}

// Any other true-colour layout, pixel by pixel: slow, but only for servers
// that do not use the common 32-bit format.
void convert_any_row(XImage& image, int y, uint8_t* target) {
  for (int x = 0; x < image.width; ++x, target += 3) {
    const unsigned long pixel = XGetPixel(&image, x, y);
    target[0] = channel(pixel, image.blue_mask);
    target[1] = channel(pixel, image.green_mask);
    target[2] = channel(pixel, image.red_mask);
  }
}

x11_grabber* open_grabber(x11_fetch preferred, std::string& why) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    why = "pitchlog: cannot open the X display (DISPLAY is not set)";
    return nullptr;
  }
  Display* display = XOpenDisplay(name);
  if (display == nullptr) {
    why = "pitchlog: cannot open the X display " + quoted_display_name(name);
    return nullptr;
  }
  auto* g = new x11_grabber;
  g->display = display;
  g->display_name = quoted_display_name(name);
  g->segment.shmid = -1;
  XSetIOErrorExitHandler(display, on_x_io_error_exit, g);
  XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask);
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
    why = "pitchlog: the X display " + g->display_name + " does not use true colour";
    x11_grabber_deleter{}(g);
    return nullptr;
  }
  bool shared = false;
  if (preferred == x11_fetch::shared_memory) {
    x_error_trap trap;
    shared = XShmQueryExtension(display) && !trap.failed() && !g->connection_lost;
  }
  g->fetch = shared ? x11_fetch::shared_memory : x11_fetch::get_image;
  return g;
}

bool grab_into(x11_grabber& g, screen_grab& grab, std::string& why) {
  if (!x11_fetch_screen(g)) {
    why = g.connection_lost ? "pitchlog: lost the connection to the X display " + g.display_name
                            : "pitchlog: cannot grab the screen of the X display " + g.display_name;
    return false;
  }
  x11_convert(g, grab);
  return true;
}

}  // namespace

void x11_grabber_deleter::operator()(x11_grabber* g) const {
  if (g == nullptr) return;
  release_server_image(*g);
  if (g->display != nullptr) {
    x_error_trap trap;  // a server gone since the last grab must not end the process here
    XCloseDisplay(g->display);
  }
  delete g;
}

x11_grabber_ptr open_x11_grabber(std::ostream& error, x11_fetch preferred) {
  std::string why;
  x11_grabber_ptr g(open_grabber(preferred, why));
  if (g) {
    g->error = &error;
  } else {
    error << why << std::endl;
  }
  return g;
}

x11_fetch x11_grabber_fetch(const x11_grabber& g) {
  return g.fetch;
}

bool x11_fetch_screen(x11_grabber& g) {
  if (g.connection_lost) return false;
  int width = 0, height = 0;
  if (g.fetch == x11_fetch::shared_memory) {
    if (!known_root_size(g, width, height)) return false;
    if (fetch_shared(g, width, height)) return true;
    // Perhaps the screen shrank and the news has not arrived: ask, and try once more.
    if (g.connection_lost || !root_size(g, width, height)) return false;
    if (fetch_shared(g, width, height)) return true;
    if (g.connection_lost) return false;
    // The extension is there but does not work for us (for example a server
    // that cannot see our segment): use plain requests from now on.
    release_server_image(g);
    g.fetch = x11_fetch::get_image;
  }
  return root_size(g, width, height) && fetch_plain(g, width, height);
}

bool pack_kernel_supported(pack_kernel kernel) {
  __builtin_cpu_init();  // in case this runs before the library's own initialisation
  switch (kernel) {
    case pack_kernel::scalar:
      return true;
    case pack_kernel::ssse3:
      return __builtin_cpu_supports("ssse3");
    case pack_kernel::avx2:
      return __builtin_cpu_supports("avx2");
    case pack_kernel::avx512_vbmi:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi");
  }
  return false;
}

pack_kernel best_pack_kernel() {
  static const pack_kernel best = [] {
    for (pack_kernel k : {pack_kernel::avx512_vbmi, pack_kernel::avx2, pack_kernel::ssse3})
      if (pack_kernel_supported(k)) return k;
    return pack_kernel::scalar;
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

void x11_convert(x11_grabber& g, screen_grab& grab) {
  if (g.image == nullptr) {  // nothing fetched yet
    grab = {};
    return;
  }
  XImage& image = *g.image;
  if (is_bgrx(image)) {
    // Turned into rows inside the server image, so that no second
    // screen-sized buffer is kept; the next fetch refills it.
    if (!g.converted) {
      pack_bgrx_rows_in_place(reinterpret_cast<uint8_t*>(image.data), image.width, image.height,
                              image.bytes_per_line);
    }
    g.converted = true;
    grab = {image.width, image.height, reinterpret_cast<const uint8_t*>(image.data), true};
    return;
  }
  const int32_t stride = bmp_stride(image.width);
  if (image.width != g.bgr_width || image.height != g.bgr_height) {
    // Zero padding bytes, never written again, so every file is the same for the same screen.
    g.bgr.assign(static_cast<size_t>(stride) * image.height, 0);
    g.bgr_width = image.width;
    g.bgr_height = image.height;
  }
  for (int y = 0; y < image.height; ++y) {
    convert_any_row(image, y, g.bgr.data() + static_cast<size_t>(y) * stride);
  }
  grab = {image.width, image.height, g.bgr.data(), true};
}

bool x11_grab_screen(x11_grabber& g, screen_grab& grab) {
  std::string why;
  if (grab_into(g, grab, why)) {
    g.failure_reported = false;
    return true;
  }
  if (!g.failure_reported && g.error != nullptr) *g.error << why << std::endl;
  g.failure_reported = true;
  return false;
}

std::function<bool(screen_grab&)> make_x11_grab(std::ostream& error, x11_fetch preferred) {
  struct state {
    std::ostream* error;
    x11_fetch preferred;
    x11_grabber_ptr grabber;
    bool outage_reported = false;
  };
  auto s = std::make_shared<state>(state{&error, preferred, nullptr});
  return [s](screen_grab& grab) {
    std::string why;
    if (!s->grabber) s->grabber.reset(open_grabber(s->preferred, why));
    if (s->grabber && grab_into(*s->grabber, grab, why)) {
      s->outage_reported = false;
      return true;
    }
    // A lost connection is not reused: the next grab connects afresh.
    if (s->grabber && s->grabber->connection_lost) s->grabber.reset();
    if (!s->outage_reported) *s->error << why << std::endl;
    s->outage_reported = true;
    return false;
  };
}

}  // namespace pitchlog
