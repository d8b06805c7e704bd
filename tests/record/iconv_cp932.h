#pragma once
// Reference conversion to code page 932 through glibc's iconv, for tests only.
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace test_support {

inline std::string iconv_cp932(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
  std::string in(utf8), out(utf8.size() * 2 + 8, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t src_left = in.size(), dst_left = out.size();
  const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) throw std::runtime_error("iconv failed on " + in);
  out.resize(out.size() - dst_left);
  return out;
}

}  // namespace test_support
