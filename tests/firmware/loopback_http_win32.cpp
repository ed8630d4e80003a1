// The loopback HTTP server of loopback_http.h over Winsock, for the Windows build's download
// tests. It behaves as the POSIX one, except that a client that sends no request within
// kRequestWait is dropped: where WinINet follows an https redirect to this plain server (the
// download refuses the hop, but WinINet goes on), its TLS greeting would otherwise hold the
// one connection this server serves at a time. The end request is a flag looked at between
// waits of at most kTick.
#include <winsock2.h>
// (ws2tcpip.h after winsock2.h)
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "tests/firmware/loopback_http.h"

namespace orq_test {
namespace {

constexpr INT kTick = 10;  // ms
constexpr std::chrono::seconds kRequestWait{1};

SOCKET sock(LoopbackHttp::Socket s) {
  return static_cast<SOCKET>(s);
}

void startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("loopback HTTP server: no Winsock");
}

}  // namespace

LoopbackHttp::LoopbackHttp(Answer answer) : answer_(std::move(answer)) {
  startWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof addr;
  u_long nonBlocking = 1;
  if (s == INVALID_SOCKET || ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
      ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    if (s != INVALID_SOCKET) ::closesocket(s);
    throw std::runtime_error("loopback HTTP server: no socket on 127.0.0.1");
  }
  listen_ = static_cast<Socket>(s);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackHttp::~LoopbackHttp() {
  ending_ = true;
  if (thread_.joinable()) thread_.join();
  ::closesocket(sock(listen_));
}

// Until `fd` is ready or the server is told to end (false).
bool LoopbackHttp::waitFor(Socket fd, short events) const {
  for (;;) {
    if (ending_) return false;
    WSAPOLLFD p{sock(fd), events, 0};
    const int n = ::WSAPoll(&p, 1, kTick);
    if (n < 0) return false;
    if (n > 0) return true;
  }
}

bool LoopbackHttp::sendAll(Socket fd, const std::string& bytes) const {
  for (size_t sent = 0; sent < bytes.size();) {
    if (!waitFor(fd, POLLWRNORM)) return false;
    const int n = ::send(sock(fd), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
    if (n <= 0) return true;  // the client went away: on to the next connection
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Keeps the connection open and silent until the client closes it or the server ends.
void LoopbackHttp::hold(Socket fd) const {
  char buf[512];
  while (waitFor(fd, POLLRDNORM)) {
    const int n = ::recv(sock(fd), buf, sizeof buf, 0);
    if (n == 0 || (n == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK)) return;
  }
}

bool LoopbackHttp::serve(Socket client) {
  std::string request;
  char buf[4096];
  const auto giveUp = std::chrono::steady_clock::now() + kRequestWait;
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (std::chrono::steady_clock::now() > giveUp) return true;
    WSAPOLLFD p{sock(client), POLLRDNORM, 0};
    if (ending_) return false;
    if (::WSAPoll(&p, 1, kTick) <= 0) continue;
    const int n = ::recv(sock(client), buf, sizeof buf, 0);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
    if (n <= 0) return true;
    request.append(buf, static_cast<size_t>(n));
  }
  return respond(client, std::move(request));
}

void LoopbackHttp::run() {
  while (waitFor(listen_, POLLRDNORM)) {
    const SOCKET client = ::accept(sock(listen_), nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ::ioctlsocket(client, FIONBIO, &nonBlocking);
    ++connections_;
    const bool more = serve(static_cast<Socket>(client));
    // A graceful close, so that the client reads the whole answer before the end.
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
    if (!more) return;
  }
}

}  // namespace orq_test
