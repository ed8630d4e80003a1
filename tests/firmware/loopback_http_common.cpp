// The parts of the loopback HTTP server that do not depend on the system's sockets: the
// scripted answer to a request whose head has been read.
#include <algorithm>

#include "tests/firmware/loopback_http.h"

namespace orq_test {

LoopbackHttp::LoopbackHttp(HttpReply reply)
    : LoopbackHttp([reply](const std::string&, uint16_t) { return reply; }) {}

std::string LoopbackHttp::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::string LoopbackHttp::lastRequest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastRequest_;
}

bool LoopbackHttp::respond(Socket client, std::string request) {
  request.resize(request.find("\r\n\r\n"));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastRequest_ = request;
  }
  ++requests_;
  const size_t start = request.find(' ') + 1;
  const std::string target = request.substr(start, request.find(' ', start) - start);
  const HttpReply reply = answer_(target, port_);
  if (reply.silent) {
    hold(client);
    return true;
  }
  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " Scripted\r\n" +
                    "Content-Length: " + std::to_string(reply.body.size()) + "\r\n" +
                    "Connection: close\r\n";
  if (!reply.location.empty()) out += "Location: " + reply.location + "\r\n";
  out += "\r\n";
  out.append(reply.body, 0, std::min(reply.body.size(), reply.stallAfter));
  if (!sendAll(client, out)) return false;
  if (reply.stallAfter < reply.body.size()) hold(client);
  return true;
}

}  // namespace orq_test
