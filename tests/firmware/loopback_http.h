// A small HTTP/1.1 server on 127.0.0.1 (a free port) for the firmware download tests: every
// request gets the reply a test scripts for it, including the ones a bad server gives (a short or
// long body, an error, a redirect, a stall mid-body, no answer at all). One thread serves one
// connection at a time; the destructor ends everything, held connections included.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace orq_test {

struct HttpReply {
  int status = 200;
  std::string body;
  std::string location;                   // sent as Location when not empty
  size_t stallAfter = std::string::npos;  // headers and this many body bytes, then silence
  bool silent = false;                    // read the request, never answer
};

inline HttpReply body(int status, std::string bytes) {
  HttpReply r;
  r.status = status;
  r.body = std::move(bytes);
  return r;
}
inline HttpReply redirect(int status, std::string location) {
  HttpReply r;
  r.status = status;
  r.location = std::move(location);
  return r;
}
inline HttpReply stall(std::string bytes, size_t after) {
  HttpReply r = body(200, std::move(bytes));
  r.stallAfter = after;
  return r;
}
inline HttpReply noAnswer() {
  HttpReply r;
  r.silent = true;
  return r;
}

class LoopbackHttp {
 public:
  using Socket = intptr_t;  // a descriptor, or a Windows SOCKET

  // `answer` gets the request target ("/fw/ORQ.bin?v=") and the server's port.
  using Answer = std::function<HttpReply(const std::string& target, uint16_t port)>;
  explicit LoopbackHttp(Answer answer);
  explicit LoopbackHttp(HttpReply reply);  // the same reply to every request
  ~LoopbackHttp();
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  uint16_t port() const { return port_; }
  std::string url(const std::string& target = "/fw/ORQ.bin?v=") const;
  int connections() const { return connections_.load(); }
  int requests() const { return requests_.load(); }
  std::string lastRequest() const;  // request line and headers

 private:
  void run();
  bool serve(Socket client);
  // Records and answers a request, given everything up to the blank line that ends its head.
  // False when the server is to end.
  bool respond(Socket client, std::string request);
  bool waitFor(Socket fd, short events) const;
  bool sendAll(Socket fd, const std::string& bytes) const;
  void hold(Socket fd) const;

  Answer answer_;
  Socket listen_ = -1;
  Socket wake_ = -1;                 // POSIX: an eventfd written when the server is to end
  std::atomic<bool> ending_{false};  // Windows: the same, looked at between short waits
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::string lastRequest_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace orq_test
