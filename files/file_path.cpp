#include "files/file_path.h"

#include <cstdint>
#include <type_traits>

#include "files/utf8.h"

namespace orq {
namespace {

bool isSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// Length of the root name: "C:" (a letter and a colon), or two separators and a server name.
size_t rootNameLength(const std::wstring& p) {
  if (p.size() >= 2 && p[1] == L':' &&
      ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'))) {
    return 2;
  }
  if (p.size() >= 3 && isSeparator(p[0]) && isSeparator(p[1]) && !isSeparator(p[2])) {
    size_t end = 2;
    while (end < p.size() && !isSeparator(p[end])) ++end;
    return end;
  }
  return 0;
}

constexpr uint32_t kEscapeBase = 0xDC00;  // a stray byte b is carried as U+DC00 + b (b >= 0x80)

void appendWide(std::wstring& out, uint32_t c) {
  if (kUtf16WideStrings && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// One UTF-8 sequence at s[i]: its code point and length, or length 0 when it is not a valid,
// shortest-form sequence of a scalar value.
size_t decodeOne(const std::string& s, size_t i, uint32_t& c) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t lead = b(i);
  size_t n = 0;
  uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || isSurrogate(c)) return 0;
  return n;
}

}  // namespace

std::wstring fileName(const std::wstring& path) {
  const size_t root = rootNameLength(path);
  if (root >= path.size()) return {};
  size_t from = root;
  for (size_t i = root; i < path.size(); ++i) {
    if (isSeparator(path[i])) from = i + 1;
  }
  return path.substr(from);
}

std::string nativePath(const std::wstring& path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0, units = 1; i < path.size(); i += units) {
    const uint32_t c = codePointAt(path, i, units);
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      out += static_cast<char>(c - kEscapeBase);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

std::wstring widePath(const std::string& native) {
  std::wstring out;
  out.reserve(native.size());
  for (size_t i = 0; i < native.size();) {
    const auto lead = static_cast<uint8_t>(native[i]);
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    uint32_t c = 0;
    const size_t n = decodeOne(native, i, c);
    if (n == 0) {
      out += static_cast<wchar_t>(kEscapeBase + lead);
      ++i;
    } else {
      appendWide(out, c);
      i += n;
    }
  }
  return out;
}

// Both branches compile everywhere; only the one for this platform's kind of name is taken.
constexpr bool kWideNames = std::is_same_v<std::filesystem::path::value_type, wchar_t>;

std::filesystem::path filePath(const std::wstring& path) {
  if constexpr (kWideNames) {
    return std::filesystem::path(path);
  } else {
    return std::filesystem::path(nativePath(path));
  }
}

std::wstring pathText(const std::filesystem::path& path) {
  if constexpr (kWideNames) {
    return path.wstring();
  } else {
    return widePath(path.string());
  }
}

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::wstring fileUriPath(const std::string& uriList) {
  // Some sources count a C string's terminator in the list's length; any other NUL would cut
  // the path short where the system reads it, and open another file.
  const size_t length = uriList.find_last_not_of('\0') + 1;
  std::string uri;
  for (size_t start = 0; start < length;) {
    size_t end = uriList.find('\n', start);
    if (end == std::string::npos || end > length) end = length;
    std::string line = uriList.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    uri = line;
    break;
  }
  // The scheme is case-insensitive; "file:" followed by "//authority" or the path itself.
  constexpr size_t kScheme = 5;
  if (uri.size() <= kScheme) return {};
  for (size_t i = 0; i < kScheme; ++i) {
    const char c = uri[i] >= 'A' && uri[i] <= 'Z' ? static_cast<char>(uri[i] - 'A' + 'a') : uri[i];
    if (c != "file:"[i]) return {};
  }
  if (uri.find('\0') != std::string::npos) return {};
  size_t at = kScheme;
  if (uri.compare(at, 2, "//") == 0) {
    // The host: a file on another machine is no file of this one's, whatever its path.
    const size_t slash = uri.find('/', at + 2);
    if (slash == std::string::npos) return {};
    std::string host = uri.substr(at + 2, slash - at - 2);
    for (char& c : host) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (!host.empty() && host != "localhost") return {};
    at = slash;
  }
  if (uri[at] != '/') return {};
  std::string bytes;
  for (size_t i = at; i < uri.size(); ++i) {
    if (uri[i] != '%') {
      bytes += uri[i];
      continue;
    }
    const int high = i + 2 < uri.size() ? hexValue(uri[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(uri[i + 2]) : -1;
    if (low < 0 || (high == 0 && low == 0)) return {};
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  // "/C:/IRs/cab.wav" names a drive where paths have drive letters.
  if (kUtf16WideStrings && bytes.size() >= 3 && bytes[2] == ':' &&
      ((bytes[1] >= 'A' && bytes[1] <= 'Z') || (bytes[1] >= 'a' && bytes[1] <= 'z'))) {
    bytes.erase(0, 1);
  }
  return widePath(bytes);
}

}  // namespace orq
