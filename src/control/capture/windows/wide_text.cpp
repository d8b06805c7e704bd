#include "control/capture/windows/wide_text.h"

#include <iostream>
#include <streambuf>

#include "control/capture/windows/windows_api.h"

namespace pitchlog {

namespace {

constexpr UINT shift_jis_code_page = 932;

std::wstring utf16_from(UINT code_page, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int count = MultiByteToWideChar(code_page, 0, bytes.data(), size, NULL, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), count);
  return wide;
}

// Whether the byte ends a code page 932 text here, rather than leading a
// two-byte character whose second byte is still to come.
bool ends_character(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const bool lead = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
    if (lead && i + 1 == bytes.size()) return false;
    i += lead ? 2 : 1;
  }
  return true;
}

// A stream buffer that gathers code page 932 bytes and writes them, widened,
// with WriteConsoleW at each flush and whenever a line ends.
class wide_console_buffer : public std::streambuf {
 public:
  explicit wide_console_buffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' && sync() != 0) return traits_type::eof();
    return c;
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i)
      if (traits_type::eq_int_type(overflow(traits_type::to_int_type(s[i])), traits_type::eof()))
        return i;
    return n;
  }

  // A lead byte at the end waits for its second byte.
  int sync() override {
    size_t whole = pending_.size();
    if (!ends_character(pending_)) --whole;
    const std::wstring wide =
        utf16_from(shift_jis_code_page, std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    const wchar_t* at = wide.data();
    for (size_t left = wide.size(); left > 0;) {
      DWORD written = 0;
      if (!WriteConsoleW(console_, at, static_cast<DWORD>(left), &written, NULL) || written == 0)
        return -1;
      at += written;
      left -= written;
    }
    return 0;
  }

 private:
  HANDLE console_;
  std::string pending_;
};

}  // namespace

std::wstring utf16_from_utf8(std::string_view utf8) {
  return utf16_from(CP_UTF8, utf8);
}

void write_console_wide(std::ostream& console) {
  if (&console != &std::cout) return;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output == INVALID_HANDLE_VALUE || output == NULL || !GetConsoleMode(output, &mode)) return;
  // The buffer serves std::cout until the program ends.
  static wide_console_buffer buffer(output);
  std::cout.flush();
  std::cout.rdbuf(&buffer);
}

}  // namespace pitchlog
