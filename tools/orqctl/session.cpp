#include "tools/orqctl/session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "device/device_ops.h"
#include "tools/orqctl/console.h"

namespace orqctl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the signal handler reaches: the stop flag of the one session that runs a job.
std::atomic<orq::Shared<uint8_t>*> gStopFlag{nullptr};
std::atomic<int> gSignals{0};

void onStopRequest() {
  // A second Ctrl-C does not wait for the job's next message boundary.
  if (gSignals.fetch_add(1) > 0) std::_Exit(kInterrupted);
  if (orq::Shared<uint8_t>* stop = gStopFlag.load()) stop->set(1);
}

// A job left alone after a stop request this long is held by a MIDI library call.
constexpr auto kStopBudget = 1000ms;
constexpr auto kProgressTick = 50ms;
constexpr int kBarWidth = 30;

class ProgressBar {
 public:
  explicit ProgressBar(std::string label) : label_(std::move(label)), shown_(stderrIsTerminal()) {}
  void show(int32_t percent) {
    if (!shown_ || percent < 0 || percent > 100 || percent == last_) return;
    last_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), percent);
    std::fflush(stderr);
  }
  void clear() {
    if (shown_ && last_ >= 0) std::fputs(clearLine(), stderr);
    last_ = -1;
  }

 private:
  std::string label_;
  bool shown_;
  int32_t last_ = -1;
};

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", b);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

Session::Session() {
  link.state = &state_;  // no host: nothing to repaint, no dialogs
}

Session::~Session() {
  orq::dropLinkPorts(link);
}

bool Session::openService() {
  return orq::openLinkPorts(link, "orqctl input", "orqctl");
}

bool Session::interrupted() const {
  return orq::interrupted(link);
}

Outcome Session::interruption(const std::string& what) const {
  if (orq::stopping(link)) return failed(kInterrupted, "interrupted: " + what);
  return failed(kNoDevice, "the MIDI service went away: " + what);
}

Outcome Session::openDevice(const std::string& port) {
  if (!link.ports && !openService())
    return failed(kNoDevice, "no MIDI service: no ALSA sequencer and no JACK server running");
  const auto ins = orq::taggedPorts(*link.midiIn, port);
  const auto outs = orq::taggedPorts(*link.midiOut, port);
  if (ins.empty() || outs.empty()) {
    return failed(kNoDevice, port.empty() ? "no ORQ device found"
                                          : "no ORQ device has ports named like '" + port +
                                                "' in both directions (see orqctl devices)");
  }
  if (ins.size() > 1 || outs.size() > 1) {
    std::string list;
    for (const auto& p : ins) list += "\n  from device: " + p.name;
    for (const auto& p : outs) list += "\n  to device:   " + p.name;
    return failed(kUsage, "several ORQ device ports; pick one device with --port NAME:" + list);
  }
  if (!orq::findAndOpenDevice(link, nullptr, port))
    return failed(kNoDevice, "the device's ports could not be opened");
  // Over JACK a new connection takes effect some cycles after it was made, and on a loaded
  // machine later than the settle findAndOpenDevice waits: the first IDENTIFY can be lost on the
  // way to a device that is there. It has no effect on the device, so it is asked once more
  // before the device counts as silent.
  orq::Request r = orq::identify(link);
  if (r == orq::Request::TimedOut) r = orq::identify(link);
  switch (r) {
    case orq::Request::Arrived:
      return {};
    case orq::Request::Stopped:
      return interruption("nothing was sent to the device but IDENTIFY");
    default:
      return failed(kNoDevice,
                    "the device does not answer (no VERSION to two IDENTIFYs, 1 s each)");
  }
}

Outcome Session::run(const std::function<Outcome(Session&)>& job, const std::string& label) {
  gStopFlag = &link.stopRequested;
  gSignals = 0;
  watchStopRequests(&onStopRequest);

  std::promise<Outcome> result;
  std::future<Outcome> done = result.get_future();
  std::thread worker([this, &job, promise = std::move(result)]() mutable {
    Outcome o = job(*this);
    orq::dropLinkPorts(link);  // on the thread that used them
    promise.set_value(std::move(o));
  });

  ProgressBar bar(label);
  Clock::time_point stopSeen{};
  while (done.wait_for(kProgressTick) != std::future_status::ready) {
    bar.show(state_.statusCode.get());
    if (!orq::stopping(link)) continue;
    if (stopSeen == Clock::time_point{}) stopSeen = Clock::now();
    if (Clock::now() - stopSeen > kStopBudget) {
      bar.clear();
      std::fputs("orqctl: interrupted; the MIDI service does not answer, leaving without it\n",
                 stderr);
      std::fflush(nullptr);
      std::_Exit(kInterrupted);
    }
  }
  bar.clear();
  worker.join();
  gStopFlag = nullptr;
  return done.get();
}

}  // namespace orqctl
