// Port discovery (see port_discovery.h).
#include "device/port_discovery.h"

#include "device/link_io.h"
#include "state/editor_state.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Over JACK a new connection takes effect at one of the server's next cycles, and a message sent
// before that is lost: the first request to a device just opened would time out although the
// device is there (seen as 4 lost requests in 40 on a loaded machine; none with this pause).
constexpr milliseconds kConnectSettle{50};

// Port enumeration costs about 0.2 ms over JACK (a listing of every port per port name), about
// 4 % of a core if done on every 5 ms pass; on Windows enumerating devices costs more. Where the
// service tells of every change of its port list (JACK, and WinMM through the window's device
// notices; see ServiceWatch), the ports are enumerated on the pass after a change, and once a
// second besides; elsewhere every 50 ms. Always at once when ports that were found have been
// closed (recovery, library error). Replies are polled on every pass.
constexpr milliseconds kScanInterval{50};
constexpr milliseconds kScanIntervalWhenTold{1000};

}  // namespace

std::vector<TaggedPort> taggedPorts(RtMidi& port, const std::string& name) {
  std::vector<TaggedPort> all;
  std::vector<TaggedPort> exact;
  const unsigned int count = safePortCount(port);
  for (unsigned int i = 0; i < count; ++i) {
    std::string portName = safePortName(port, i);
    const int kind = deviceTagKind(portName);
    if (kind < 0 || portName.find(name) == std::string::npos) continue;
    TaggedPort p{std::move(portName), kind};
    if (!name.empty() && p.name == name) exact.push_back(p);
    all.push_back(std::move(p));
  }
  return exact.empty() ? all : exact;
}

bool openNamed(RtMidi& port, const std::string& name, const std::string& localName) {
  const unsigned int count = safePortCount(port);
  for (unsigned int i = 0; i < count; ++i)
    if (safePortName(port, i) == name) return safeOpen(port, i, localName);
  return false;
}

bool findAndOpenDevice(DeviceLink& link, int32_t* kindOut, const std::string& portName) {
  if (link.portFault.exchange(0)) closePorts(link);
  if (!link.midiIn || !link.midiOut) return false;
  const std::vector<TaggedPort> ins = taggedPorts(*link.midiIn, portName);
  const std::vector<TaggedPort> outs = taggedPorts(*link.midiOut, portName);
  const int32_t kind = !outs.empty() ? outs[0].kind : (!ins.empty() ? ins[0].kind : 0);
  EditorState& state = *link.state;
  if (kind != state.modelKind.get()) requestRepaint(link);
  state.modelKind = kind;
  if (kindOut) *kindOut = kind;

  if (!ins.empty() && !outs.empty()) {
    bool opened = false;
    if (!safeIsOpen(link.midiIn)) {
      safeClose(link.midiIn);
      opened = true;
      if (openNamed(*link.midiIn, ins[0].name, "midi Input")) {
        try {
          link.midiIn->ignoreTypes(false, true, true);  // keep sysex, drop clock and sensing
        } catch (const std::exception&) {
        }
      }
    }
    if (!safeIsOpen(link.midiOut)) {
      safeClose(link.midiOut);
      opened = true;
      openNamed(*link.midiOut, outs[0].name, "midi Output");
    }
    if (safeIsOpen(link.midiIn) && safeIsOpen(link.midiOut)) {
      // A stop request cutting this short is seen by the caller's next pause or wait.
      if (opened) pauseFor(link, kConnectSettle);
      return true;
    }
  }
  closePorts(link);
  return false;
}

bool discover(DeviceLink& link, PortScan& scan) {
  const bool reopen = scan.found && !(safeIsOpen(link.midiIn) && safeIsOpen(link.midiOut));
  const bool told = scan.watch && scan.watch->hearsPortChanges();
  // Read before the enumeration, so that a change during it brings another one.
  const uint32_t changes = told ? scan.watch->portChanges() : 0;
  const bool changed = told && changes != scan.portChangesSeen;
  const Clock::time_point now = Clock::now();
  if (now < scan.nextScan && !reopen && !changed && !link.portFault.get()) return scan.found;
  scan.nextScan = now + (told ? kScanIntervalWhenTold : kScanInterval);
  scan.portChangesSeen = changes;
  scan.found = findAndOpenDevice(link, &scan.kind);
  return scan.found;
}

}  // namespace orq
