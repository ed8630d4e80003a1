// Feeds arbitrary addresses to the firmware download's address check, and checks the promise
// the download rests on: https to any host, plain http only to this machine.
//   - downloadPartsAllowed, given a scheme and host as a URL parser hands them out, agrees
//     exactly with the rule: https with any host, http with "localhost", "[::1]" or an IPv4
//     literal of 127.0.0.0/8 as inet_pton reads one.
//   - downloadAddressAllowed (libcurl's parser, then the rule) never accepts an address whose
//     host, read here on its own terms, is not this machine's: the scheme is http or https, and
//     for http the host after any user name, unescaped, is localhost, the IPv6 loopback, or an
//     IPv4 address in 127.0.0.0/8 in any of the forms the system's resolver reads (inet_aton:
//     "127.1", "0x7f.0.0.1").
// Input: "scheme NUL host" for the rule; the same bytes up to their first NUL as an address.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/firmware.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The rule as stated, with the system's own IPv4 parser.
bool ruleAllows(const std::string& scheme, const std::string& host) {
  if (host.empty()) return false;
  if (scheme == "https") return true;
  if (scheme != "http") return false;
  if (host == "localhost" || host == "[::1]") return true;
  in_addr a{};
  return host.find('\0') == std::string::npos && inet_pton(AF_INET, host.c_str(), &a) == 1 &&
         (ntohl(a.s_addr) >> 24) == 127;
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string unescaped(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Whether `host`, as the address writes it, names this machine.
bool loopbackHost(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    std::string inner = host.substr(1, host.size() - 2);
    inner = inner.substr(0, inner.find('%'));  // without a zone id
    in6_addr a{};
    return inet_pton(AF_INET6, inner.c_str(), &a) == 1 && IN6_IS_ADDR_LOOPBACK(&a);
  }
  host = lower(unescaped(host));
  if (host == "localhost") return true;
  in_addr a{};
  return host.find('\0') == std::string::npos && inet_aton(host.c_str(), &a) != 0 &&
         (ntohl(a.s_addr) >> 24) == 127;
}

// The scheme and, for http, whether the host is this machine, read as RFC 3986 reads an address
// (as the fetcher does), but leniently: surrounding blanks dropped, any run of slashes or
// backslashes after the scheme, the authority ending at the first '/', '?' or '#', the user
// name up to its last '@' dropped, then the port.
void checkAccepted(const std::string& address) {
  size_t from = 0, to = address.size();
  while (from < to && static_cast<unsigned char>(address[from]) <= ' ') ++from;
  while (to > from && static_cast<unsigned char>(address[to - 1]) <= ' ') --to;
  const std::string a = address.substr(from, to - from);
  const size_t colon = a.find(':');
  check(colon != std::string::npos, "an accepted address has a scheme");
  const std::string scheme = lower(a.substr(0, colon));
  check(scheme == "https" || scheme == "http", "an accepted address is http or https");
  if (scheme == "https") return;
  size_t at = colon + 1;
  while (at < a.size() && (a[at] == '/' || a[at] == '\\')) ++at;
  std::string authority = a.substr(at, a.find_first_of("/?#", at) - at);
  if (const size_t user = authority.rfind('@'); user != std::string::npos)
    authority.erase(0, user + 1);
  std::string host = authority;
  if (host.empty() || host.front() != '[') {
    host = host.substr(0, host.find(':'));
  } else if (const size_t close = host.find(']'); close != std::string::npos) {
    host = host.substr(0, close + 1);
  }
  check(loopbackHost(host), "plain http only to this machine");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Without libcurl every address is refused, and the run would check nothing.
  check(orq::downloadAddressAllowed("https://fw.example.com/ORQ.bin"),
        "libcurl.so.4 opens (an https address is allowed)");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string scheme = split == std::string::npos ? "http" : input.substr(0, split);
  const std::string host = split == std::string::npos ? input : input.substr(split + 1);
  check(orq::downloadPartsAllowed(scheme, host) == ruleAllows(scheme, host),
        "the rule: https anywhere, http only to localhost, [::1] and 127.0.0.0/8");

  const std::string address = input.substr(0, split);
  if (orq::downloadAddressAllowed(address)) checkAccepted(address);
  return 0;
}
