// Feeds arbitrary text/uri-list bytes, as a file manager hands them to a drop, to fileUriPath
// and checks what the import that opens the path relies on:
//   - the path never holds a NUL (the file system would open a shorter name), though NULs that
//     end the list are its terminator;
//   - a URI naming another host than this one (empty, or "localhost") gives no path;
//   - a path comes only from a file: URI, is absolute, and is the URI's path with its %XX
//     escapes taken as bytes, read as widePath reads a file name (so it survives nativePath).
// Written for a platform whose wide strings are UTF-32 (Linux): no drive letters.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/file_path.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (lower(a[i]) != b[i]) return false;
  return i == a.size() && !b[i];
}

// The list's first entry: the first line that is neither empty nor a '#' comment.
std::string firstEntry(const std::string& list) {
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') return line;
  }
  return {};
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::wstring path = orq::fileUriPath(list);
  check(path.find(L'\0') == std::wstring::npos, "no NUL in a path");

  // NUL bytes that end the list are a terminator some sources count in its length, not part of
  // its last entry.
  const std::string uri = firstEntry(list.substr(0, list.find_last_not_of('\0') + 1));
  const bool file = uri.size() > 5 && equalsIgnoringCase(uri.substr(0, 5), "file:");
  size_t at = 5;  // where the path begins
  if (file && uri.compare(5, 2, "//") == 0) {
    at = uri.find('/', 7);
    const std::string host = uri.substr(7, at == std::string::npos ? std::string::npos : at - 7);
    if (!host.empty() && !equalsIgnoringCase(host, "localhost"))
      check(path.empty(), "a URI of another host gives no path");
  }
  if (path.empty()) return 0;

  check(file, "a path only from a file: URI");
  check(path[0] == L'/', "an absolute path");
  std::string bytes;
  for (size_t i = at; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
      bytes += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
      i += 2;
    } else {
      bytes += uri[i];
    }
  }
  check(orq::nativePath(path) == bytes, "the path is the URI's, unescaped");
  check(orq::widePath(orq::nativePath(path)) == path, "the path survives nativePath");
  return 0;
}
