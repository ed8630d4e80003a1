// The rule on the addresses the firmware download may use (firmware.h), shared by both systems'
// downloads, which hand it the scheme and host that their own URL parsers read.
#include <string_view>

#include "device/firmware.h"

namespace orq {
namespace {

// A dotted-quad IPv4 literal as inet_pton reads one: four decimal numbers up to 255, no leading
// zeros; its first number in `first`.
bool ipv4Literal(std::string_view host, int& first) {
  int parts = 0;
  size_t i = 0;
  while (i <= host.size()) {
    size_t j = i;
    int value = 0;
    while (j < host.size() && host[j] >= '0' && host[j] <= '9' && j - i < 3) {
      value = value * 10 + (host[j] - '0');
      ++j;
    }
    if (j == i || value > 255 || (j - i > 1 && host[i] == '0')) return false;
    if (parts == 0) first = value;
    ++parts;
    if (j == host.size()) break;
    if (host[j] != '.' || parts == 4) return false;
    i = j + 1;
  }
  return parts == 4;
}

}  // namespace

bool downloadPartsAllowed(std::string_view scheme, std::string_view host) {
  if (host.empty()) return false;
  if (scheme == "https") return true;
  if (scheme != "http") return false;
  if (host == "localhost" || host == "[::1]") return true;
  // A literal only: "127.0.0.1.example.com" is a name anyone may point anywhere.
  int first = -1;
  return ipv4Literal(host, first) && first == 127;
}

}  // namespace orq
