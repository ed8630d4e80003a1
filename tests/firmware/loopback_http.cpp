#include "tests/firmware/loopback_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace orq_test {

LoopbackHttp::LoopbackHttp(Answer answer) : answer_(std::move(answer)) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (listen_ < 0 || wake_ < 0 ||
      ::bind(static_cast<int>(listen_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(static_cast<int>(listen_), 8) != 0 ||
      ::getsockname(static_cast<int>(listen_), reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    throw std::runtime_error("loopback HTTP server: no socket on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackHttp::~LoopbackHttp() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(wake_), &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  ::close(static_cast<int>(listen_));
  ::close(static_cast<int>(wake_));
}

// Until `fd` is ready or the server is told to end (false). The wake descriptor stays readable
// once written, so every wait after it ends at once too.
bool LoopbackHttp::waitFor(Socket fd, short events) const {
  pollfd p[2] = {{static_cast<int>(fd), events, 0}, {static_cast<int>(wake_), POLLIN, 0}};
  while (::poll(p, 2, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return !(p[1].revents & POLLIN);
}

bool LoopbackHttp::sendAll(Socket fd, const std::string& bytes) const {
  for (size_t sent = 0; sent < bytes.size();) {
    if (!waitFor(fd, POLLOUT)) return false;
    const ssize_t n =
        ::send(static_cast<int>(fd), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return true;  // the client went away: on to the next connection
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Keeps the connection open and silent until the client closes it or the server ends.
void LoopbackHttp::hold(Socket fd) const {
  char buf[512];
  while (waitFor(fd, POLLIN)) {
    const ssize_t n = ::recv(static_cast<int>(fd), buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
  }
}

bool LoopbackHttp::serve(Socket client) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (!waitFor(client, POLLIN)) return false;
    const ssize_t n = ::recv(static_cast<int>(client), buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return true;
    request.append(buf, static_cast<size_t>(n));
  }
  return respond(client, std::move(request));
}

void LoopbackHttp::run() {
  while (waitFor(listen_, POLLIN)) {
    const int client =
        ::accept4(static_cast<int>(listen_), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) continue;
    ++connections_;
    const bool more = serve(client);
    ::close(client);
    if (!more) return;
  }
}

}  // namespace orq_test
