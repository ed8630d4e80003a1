// Wide strings to UTF-8, the one encoder of the program (file names and text drawing). Wide
// strings hold UTF-32 code points where wchar_t is 32 bits (Linux) and UTF-16 where it is 16 bits
// (Windows). Header only, and includes nothing of ours: the rendering layer uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orq {

inline constexpr bool kUtf16WideStrings = sizeof(wchar_t) == 2;

inline bool isSurrogate(uint32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// The code point at s[i] and how many wide characters it takes: where wide strings are UTF-16,
// a high surrogate followed by a low one is the one character they encode.
inline uint32_t codePointAt(const std::wstring& s, size_t i, size_t& units) {
  const auto c = static_cast<uint32_t>(s[i]);
  units = 1;
  if (kUtf16WideStrings && c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size()) {
    const auto low = static_cast<uint32_t>(s[i + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      units = 2;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return c;
}

// Appends one code point; one that is not a Unicode scalar value (a lone surrogate, above
// U+10FFFF, negative as a wchar_t) becomes U+FFFD, so the result is always valid UTF-8.
inline void appendUtf8(std::string& out, uint32_t c) {
  if (c > 0x10FFFF || isSurrogate(c)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

inline std::string toUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0, units = 1; i < text.size(); i += units) {
    appendUtf8(out, codePointAt(text, i, units));
  }
  return out;
}

}  // namespace orq
