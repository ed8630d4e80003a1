// orq-midi-bridge: the Linux end of the Windows tests' MIDI driver (winmm_driver.c). Lists the
// device ports on the JACK server (names carrying a model tag, as the editor looks for them)
// and carries their messages to and from the driver over loopback TCP (bridge_wire.h), one
// connection per open port, each served by a thread of its own. Runs until SIGINT or SIGTERM.
// Usage: orq-midi-bridge PORT_FILE   -> listens on an ephemeral port of 127.0.0.1 and writes
// its number to PORT_FILE once it accepts connections.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/midi_port.h"
#include "tests/windows/midi_bridge/bridge_wire.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) {
  gStop = 1;
}

// ---------------------------------------------------------------- wire

bool sendAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool sendFrame(int fd, uint8_t type, const uint8_t* payload, size_t length) {
  std::vector<uint8_t> frame(5 + length);
  const uint32_t n = static_cast<uint32_t>(length + 1);
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(n >> (8 * i));
  frame[4] = type;
  if (length) std::copy(payload, payload + length, frame.begin() + 5);
  return sendAll(fd, frame.data(), frame.size());
}

// Waits for readable data, looking at the stop flag every 100 ms; false once stopping.
bool awaitReadable(int fd) {
  while (!gStop) {
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, 100);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
  return false;
}

bool recvAll(int fd, uint8_t* data, size_t length) {
  while (length > 0) {
    if (!awaitReadable(fd)) return false;
    const ssize_t n = recv(fd, data, length, 0);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// One frame: its type and payload. False at the end of the connection or on a bad length.
bool recvFrame(int fd, uint8_t& type, std::vector<uint8_t>& payload) {
  uint8_t head[4];
  if (!recvAll(fd, head, 4)) return false;
  const uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | static_cast<uint32_t>(head[3]) << 24;
  if (n == 0 || n > ORQ_WIRE_MAX_FRAME) return false;
  if (!recvAll(fd, &type, 1)) return false;
  payload.resize(n - 1);
  return n == 1 || recvAll(fd, payload.data(), n - 1);
}

// ---------------------------------------------------------------- JACK ports

// The device ports RtMidi lists for `port`: their indices and the names shown to Windows (the
// JACK port's own name, without its client's).
struct Listed {
  unsigned int index;
  std::string name;
};
std::vector<Listed> devicePorts(RtMidi& port) {
  std::vector<Listed> out;
  const unsigned int count = orq::safePortCount(port);
  for (unsigned int i = 0; i < count && out.size() < ORQ_WIRE_MAX_PORTS; ++i) {
    std::string name = orq::safePortName(port, i);
    if (orq::deviceTagKind(name) < 0) continue;
    const size_t colon = name.find(':');
    out.push_back({i, colon == std::string::npos ? name : name.substr(colon + 1)});
  }
  return out;
}

// The two objects that list ports, shared by every connection.
struct Lister {
  std::mutex mutex;
  std::unique_ptr<RtMidiIn> in;  // guarded by mutex
  std::unique_ptr<RtMidiOut> out;
};

// The kWirePorts payload of the device ports there are now.
std::vector<uint8_t> portListPayload(Lister& lister) {
  std::vector<Listed> ins, outs;
  {
    std::lock_guard<std::mutex> lock(lister.mutex);
    ins = devicePorts(*lister.in);
    outs = devicePorts(*lister.out);
  }
  std::vector<uint8_t> reply{static_cast<uint8_t>(ins.size()), static_cast<uint8_t>(outs.size())};
  for (const auto* list : {&ins, &outs}) {
    for (const Listed& p : *list) {
      const size_t n = std::min<size_t>(p.name.size(), 255);
      reply.push_back(static_cast<uint8_t>(n));
      reply.insert(reply.end(), p.name.begin(), p.name.begin() + n);
    }
  }
  return reply;
}

// A list connection: the list now, then again whenever it has changed, looked at as often as
// the editor scans for its device. (Told of changes by a JACK client of its own instead, the
// bridge stalled the dummy server for seconds whenever one of its port clients closed.) The
// driver sends nothing on this connection, so anything readable is its end.
void servePortList(int fd, Lister& lister) {
  constexpr int kLookMs = 50;
  std::vector<uint8_t> sent;
  for (bool first = true; !gStop; first = false) {
    std::vector<uint8_t> now = portListPayload(lister);
    if (first || now != sent) {
      if (!sendFrame(fd, kWirePorts, now.data(), now.size())) return;
      sent = std::move(now);
    }
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, kLookMs);
    if (r > 0 || (r < 0 && errno != EINTR)) return;
  }
}

// Opens the device port `which` (an index into devicePorts) of `port`.
bool openDevicePort(RtMidi& port, uint8_t which) {
  const std::vector<Listed> ports = devicePorts(port);
  return which < ports.size() && orq::safeOpen(port, ports[which].index, "bridge");
}

void refuse(int fd, const char* reason) {
  sendFrame(fd, kWireError, reinterpret_cast<const uint8_t*>(reason), std::strlen(reason));
}

// Closes a JACK port object as the project's MIDI layer does (client out of the graph first).
template <typename Port>
void dispose(std::unique_ptr<Port>& port) {
  orq::detachJackPort(*port);
  port.reset();
}

struct InputSink {
  int fd;
  std::mutex mutex;
  bool failed = false;  // guarded by mutex
};

void onInput(double, std::vector<unsigned char>* message, void* arg) {
  auto* sink = static_cast<InputSink*>(arg);
  if (!message || message->empty()) return;
  std::lock_guard<std::mutex> lock(sink->mutex);
  if (!sink->failed)
    sink->failed = !sendFrame(sink->fd, kWireMidi, message->data(), message->size());
}

void serveInput(int fd, uint8_t which) {
  InputSink sink{fd, {}, false};
  std::unique_ptr<RtMidiIn> in;
  try {
    in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "orq-midi-bridge in");
    in->ignoreTypes(false, false, false);  // everything, as a driver passes it on
    in->setCallback(&onInput, &sink);
  } catch (const std::exception&) {
    return refuse(fd, "no JACK client");
  }
  if (!openDevicePort(*in, which)) {
    dispose(in);
    return refuse(fd, "no such port");
  }
  if (sendFrame(fd, kWireOk, nullptr, 0)) {
    // The driver sends nothing more on an input: any frame or the end closes it.
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    while (recvFrame(fd, type, payload)) {
    }
  }
  orq::safeClose(in.get());
  dispose(in);
}

void serveOutput(int fd, uint8_t which) {
  std::unique_ptr<RtMidiOut> out;
  try {
    out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "orq-midi-bridge out");
  } catch (const std::exception&) {
    return refuse(fd, "no JACK client");
  }
  if (!openDevicePort(*out, which)) {
    dispose(out);
    return refuse(fd, "no such port");
  }
  if (sendFrame(fd, kWireOk, nullptr, 0)) {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    while (recvFrame(fd, type, payload)) {
      if (type == kWireMidi && !payload.empty())
        orq::safeSend(out.get(), payload.data(), payload.size());
    }
  }
  dispose(out);  // lets the output send what it queued first
}

void serve(int fd, Lister* lister) {
  uint8_t type = 0;
  std::vector<uint8_t> payload;
  if (recvFrame(fd, type, payload)) {
    if (type == kWireList)
      servePortList(fd, *lister);
    else if ((type == kWireOpenIn || type == kWireOpenOut) && payload.size() == 1)
      (type == kWireOpenIn ? serveInput : serveOutput)(fd, payload[0]);
  }
  close(fd);
}

int listenLoopback(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orq-midi-bridge PORT_FILE\n");
    return 2;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  Lister lister;
  try {
    lister.in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "orq-midi-bridge list");
    lister.out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "orq-midi-bridge list");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orq-midi-bridge: no JACK client: %s\n", e.what());
    return 1;
  }
  uint16_t port = 0;
  const int listener = listenLoopback(port);
  if (listener < 0) {
    std::perror("orq-midi-bridge: listen");
    return 1;
  }
  // Written whole under another name and renamed, so a reader never sees half a number.
  const std::string file = argv[1];
  if (FILE* f = std::fopen((file + ".tmp").c_str(), "w")) {
    std::fprintf(f, "%u\n", port);
    std::fclose(f);
    std::rename((file + ".tmp").c_str(), file.c_str());
  }

  std::vector<std::thread> connections;
  while (!gStop) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connections.emplace_back(serve, fd, &lister);
  }
  close(listener);
  for (std::thread& t : connections) t.join();  // each sees the stop flag within 100 ms
  dispose(lister.out);
  dispose(lister.in);
  return 0;
}
