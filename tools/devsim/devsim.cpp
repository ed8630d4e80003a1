// The simulated ORQ device: what it stores and answers (Device), and how it sits on the MIDI
// service (Simulator: virtual ports, its own thread, timed faults and a per-message log).
// The device side is written from the wire format alone and shares no code with the editor's
// protocol module, so that tests running one against the other check both.
#include "tools/devsim/devsim.h"

#include <algorithm>
#include <cinttypes>
#include <utility>

#include "device/midi_port.h"

namespace orq::devsim {
namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kFirmwareTarget = 0x10;

struct RequestKind {
  uint8_t code;
  const char* name;
  size_t length;
};
constexpr RequestKind kRequests[] = {
    {0x01, "WRITE_SETTINGS", 18}, {0x02, "READ_SETTINGS", 5},
    {0x04, "READ_SLOT_NAME", 5},  {0x07, "FIRMWARE_CHUNK", 522},
    {0x08, "IR_CHUNK", 520},      {0x09, "END_TRANSFER", 73},
    {0x0A, "STORE", 4},           {0x0B, "IDENTIFY", 4},
    {0x0C, "RESET", 4},
};

const char* const kDefaultSlotNames[Device::kSlots] = {
    "0_GREEN 412", "1_BRIT 2X12", "2_JUBILEE V30", "3_CALI 4X12", "4_DELUXE 1X12", "5_BASS 8X10",
};

const char* const kModelBases[] = {"ORQ OR-1", "ORQ KTB", "ORQ KTC"};

// Malformed or foreign traffic a device (or a confused MIDI setup) might emit. Every sysex here
// is terminated, so a receiver that joins unterminated sysex with the next message is not
// tricked into corrupting a real reply.
const Bytes kGarbage[] = {
    {0xF0, 0x01, 0x0B, 0x01, 0x02, 0xF7},              // manufacturer byte not 0
    {0xF0, 0x00, 0x7E, 0x11, 0x22, 0xF7},              // unknown code
    {0xF0, 0x00, 0x02, 0x05, 0xF7},                    // SETTINGS_DUMP far too short
    {0x90, 0x3C, 0x64},                                // a note-on
    {0xF0, 0x00, 0x04, 0x00, 0x01, 0x41, 0x42, 0xF7},  // SLOT_NAME too short
    {0xF0, 0x00, 0x03, 0x01, 0x02, 0xF7},              // CHANGE_NOTICE of 6 bytes
    {0xF0, 0x00, 0xF7},                                // no code at all
};

uint32_t nibbles(const Bytes& m, size_t at, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) v = (v << 4) | (m[at + i] & 0x0F);
  return v;
}

bool nibblesOnly(const Bytes& m, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (m[i] > 0x0F) return false;
  return true;
}

Bytes ack() {
  return {kStart, 0x00, 0x08, kEnd};
}

}  // namespace

std::string hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 0x0F];
  }
  return s;
}

std::string requestName(const Bytes& m) {
  if (m.size() < 4 || m.front() != kStart || m.back() != kEnd || m[1] != 0x00) return "MALFORMED";
  for (size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] >= 0x80) return "MALFORMED";
  for (const RequestKind& r : kRequests) {
    if (r.code != m[2]) continue;
    if (m.size() != r.length) return "MALFORMED";
    switch (r.code) {
      case 0x04:
        if (m[3] >= Device::kSlots) return "MALFORMED";
        break;
      case 0x07:
      case 0x08:
        if (!nibblesOnly(m, 3, m.size() - 1)) return "MALFORMED";
        break;
      case 0x09:
        if ((m[3] >= Device::kSlots && m[3] != kFirmwareTarget) || !nibblesOnly(m, 4, 8))
          return "MALFORMED";
        break;
      default:
        break;
    }
    return r.name;
  }
  return "UNKNOWN";
}

std::string replyName(const Bytes& m) {
  if (m.size() >= 4 && m[0] == kStart && m[1] == 0x00 && m.back() == kEnd) {
    switch (m[2]) {
      case 0x02:
        if (m.size() == 18) return "SETTINGS_DUMP";
        break;
      case 0x03:
        if (m.size() == 4 || m.size() == 5) return "CHANGE_NOTICE";
        break;
      case 0x04:
        if (m.size() == 70) return "SLOT_NAME";
        break;
      case 0x08:
        if (m.size() == 4) return "ACK";
        break;
      case 0x0B:
        if (m.size() == 6) return "VERSION";
        break;
      default:
        break;
    }
  }
  return "GARBAGE";
}

// ---------------------------------------------------------------- Device

Device::Device(const Options& options)
    : firmware(options.firmware),
      firmwareBuffer(kFirmwareSize, 0),
      irBuffer(kIrBufferSize, 0),
      options_(options) {
  for (int p = 0; p < kPrograms; ++p) {
    uint8_t* b = blocks[p];
    b[4] = static_cast<uint8_t>(p % 3);        // IR select, channel 1
    b[5] = static_cast<uint8_t>((p + 1) % 3);  // IR select, channel 2
    b[7] = 0x22;                               // presence 2 / 2
    b[8] = 0x22;                               // deep 2 / 2
    b[9] = 0x22;                               // lowpass 2 / 2
  }
  for (int s = 0; s < kSlots; ++s) slotNames[s] = kDefaultSlotNames[s];
  if (options.settingsSeed == 0) return;
  uint32_t x = options.settingsSeed;
  const auto next = [&x](uint32_t range) {
    x = x * 1664525u + 1013904223u;  // any in-range spread serves
    return static_cast<uint8_t>((x >> 16) % range);
  };
  packed = static_cast<uint8_t>((next(2) << 5) | next(17));
  for (auto& b : blocks) {
    for (int i : {0, 1, 2, 3, 6}) b[i] = next(2);
    b[4] = next(3);
    b[5] = next(3);
    for (int i : {7, 8, 9}) b[i] = static_cast<uint8_t>((next(3) + 1) << 4 | (next(3) + 1));
    b[10] = next(4);
    b[11] = next(4);
  }
}

Bytes Device::changeProgram(int p) {
  program = std::clamp(p, 0, kPrograms - 1);
  return {kStart, 0x00, 0x03, static_cast<uint8_t>(program), kEnd};
}

std::vector<Bytes> Device::receive(const Bytes& m) {
  std::vector<Bytes> out;
  const std::string name = requestName(m);
  if (name == "MALFORMED" || name == "UNKNOWN") return out;
  const uint8_t code = m[2];
  const bool answer = options_.ignoreCode != code;
  switch (code) {
    case 0x01: {  // WRITE_SETTINGS
      if (!answer) break;
      const int p = m[3];
      packed = m[4];
      std::copy(m.begin() + 5, m.begin() + 17, blocks[p]);
      break;
    }
    case 0x02: {  // READ_SETTINGS
      if (!answer) break;
      const int p = options_.dumpOtherProgram ? (m[3] + 1) % kPrograms : m[3];
      Bytes dump(18, 0);
      dump[0] = kStart;
      dump[2] = 0x02;
      dump[3] = static_cast<uint8_t>(p);
      dump[4] = packed;
      std::copy_n(blocks[p], kBlockBytes, dump.begin() + 5);
      dump[17] = kEnd;
      out.push_back(std::move(dump));
      break;
    }
    case 0x04: {  // READ_SLOT_NAME
      if (!answer) break;
      const int s = m[3];
      Bytes reply(70, 0);
      reply[0] = kStart;
      reply[2] = 0x04;
      reply[4] = static_cast<uint8_t>(s);
      const std::string& n = slotNames[s];
      std::copy_n(n.begin(), std::min<size_t>(n.size(), 64), reply.begin() + 5);
      reply[69] = kEnd;
      out.push_back(std::move(reply));
      break;
    }
    case 0x07:    // FIRMWARE_CHUNK
    case 0x08: {  // IR_CHUNK
      const bool fw = code == 0x07;
      const int offsetNibbles = fw ? 6 : 4;
      const uint32_t offset = nibbles(m, 3, offsetNibbles);
      Bytes& buffer = fw ? firmwareBuffer : irBuffer;
      const size_t data = 3 + offsetNibbles;
      for (size_t i = 0; i < 256; ++i) {
        if (offset + i >= buffer.size()) break;
        buffer[offset + i] = static_cast<uint8_t>((m[data + 2 * i] << 4) | m[data + 2 * i + 1]);
      }
      if (fw) {
        if (offset != firmwareNext || offset >= kFirmwareSize) firmwareInOrder = false;
        firmwareNext = offset + 256;
      }
      const bool dropped = options_.dropAckChunk >= 0 &&
                           offset == static_cast<uint32_t>(options_.dropAckChunk) * 256;
      if (answer && !dropped) out.push_back(ack());
      break;
    }
    case 0x09: {  // END_TRANSFER
      const uint8_t target = m[3];
      const uint32_t size = nibbles(m, 4, 4);
      std::string n;
      for (size_t i = 8; i < 72 && m[i] != 0; ++i) n += static_cast<char>(m[i]);
      if (target == kFirmwareTarget) {
        const bool whole = firmwareInOrder && firmwareNext == kFirmwareSize;
        firmwareNext = 0;
        firmwareInOrder = true;
        if (!whole) {
          ++firmwareRefused;  // not confirmed: the editor sees a failed update
          break;
        }
        firmwareStaged = true;
        stagedVersion = static_cast<uint16_t>(firmwareBuffer[131068] | firmwareBuffer[131069] << 8);
      } else {
        slotImages[target].assign(irBuffer.begin(),
                                  irBuffer.begin() + std::min<size_t>(size, irBuffer.size()));
        // The device keeps the slot number in front of the name it was given.
        slotNames[target] = (std::to_string(target) + "_" + n).substr(0, 64);
        std::fill(irBuffer.begin(), irBuffer.end(), 0);
      }
      if (answer) {
        out.push_back(ack());
        if (options_.noticeAfterCommit)
          out.push_back({kStart, 0x00, 0x03, static_cast<uint8_t>(program), kEnd});
      }
      break;
    }
    case 0x0A:  // STORE
      ++stores;
      break;
    case 0x0B:  // IDENTIFY
      if (answer) {
        Bytes version{kStart, 0x00, 0x0B, static_cast<uint8_t>((firmware >> 8) & 0x7F),
                      static_cast<uint8_t>(firmware & 0x7F)};
        version.resize(3 + static_cast<size_t>(std::clamp(options_.versionBytes, 0, 2)));
        version.push_back(kEnd);
        out.push_back(std::move(version));
      }
      break;
    case 0x0C:  // RESET: transfers in progress are forgotten, committed firmware goes in
      ++resets;
      std::fill(irBuffer.begin(), irBuffer.end(), 0);
      firmwareNext = 0;
      firmwareInOrder = true;
      if (firmwareStaged) {
        firmwareStaged = false;
        restarting = true;
        if (!options_.keepFirmware) firmware = stagedVersion;
      }
      break;
    default:
      break;
  }
  return out;
}

// ---------------------------------------------------------------- Simulator

struct Simulator::Ports {
  MidiPair pair;
};

struct Simulator::Event {
  Clock::time_point due;
  std::function<void()> action;  // runs on the simulator's thread, without the lock
};

Simulator::Simulator(Options options) : options_(std::move(options)), device_(options_) {}

Simulator::~Simulator() {
  stop();
}

std::string Simulator::inPortName() const {
  const std::string base =
      options_.portBase.empty() ? kModelBases[std::clamp(options_.model, 0, 2)] : options_.portBase;
  return base + " MIDI In";
}

std::string Simulator::outPortName() const {
  const std::string base =
      options_.portBase.empty() ? kModelBases[std::clamp(options_.model, 0, 2)] : options_.portBase;
  return base + " MIDI Out";
}

bool Simulator::start() {
  if (thread_.joinable()) return true;
  startTime_ = Clock::now();
  if (!options_.logPath.empty()) logFile_ = std::fopen(options_.logPath.c_str(), "w");
  openPorts();
  if (!ports_) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
  }
  if (options_.unplugAfterMs >= 0) {
    const auto pause = std::chrono::milliseconds(options_.unplugForMs);
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::make_unique<Event>(
        Event{startTime_ + std::chrono::milliseconds(options_.unplugAfterMs), [this, pause] {
                closePorts();
                std::lock_guard<std::mutex> l(mutex_);
                events_.push_back(
                    std::make_unique<Event>(Event{Clock::now() + pause, [this] { openPorts(); }}));
              }}));
  }
  if (options_.programEveryMs > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::make_unique<Event>(
        Event{startTime_ + std::chrono::milliseconds(options_.programEveryMs),
              [this] { programTick(); }}));
  }
  thread_ = std::thread([this] { run(); });
  return true;
}

void Simulator::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    events_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  closePorts();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  if (logFile_) {
    std::fclose(logFile_);
    logFile_ = nullptr;
  }
}

void Simulator::openPorts() {
  if (ports_) return;
  auto ports = std::make_unique<Ports>();
  ports->pair = createMidiPair(options_.clientName, options_.clientName, 1000,
                               &Simulator::onServiceLost, this);
  if (!ports->pair.in || !ports->pair.out) return;
  try {
    ports->pair.in->cancelCallback();  // messages come to this simulator, not the pair's inbox
    ports->pair.in->setCallback(&Simulator::onMessage, this);
    ports->pair.in->ignoreTypes(false, true, true);
    ports->pair.in->openVirtualPort(inPortName());
    ports->pair.out->openVirtualPort(outPortName());
  } catch (const std::exception&) {
    return;
  }
  ports_ = std::move(ports);
  std::lock_guard<std::mutex> lock(mutex_);
  plugged_ = true;
}

void Simulator::closePorts() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = false;
  }
  // Destroying the objects removes the virtual ports; the JACK callback may still be running
  // until then, so the lock must not be held here.
  ports_.reset();
}

// On a libjack thread: the server is gone. The simulator's thread closes the ports (their
// clients are dead) and opens them again once a server of that name runs, as a device behind a
// MIDI bridge reappears when the bridge's server does.
void Simulator::onServiceLost(void* self) {
  auto* sim = static_cast<Simulator*>(self);
  {
    std::lock_guard<std::mutex> lock(sim->mutex_);
    if (!sim->running_) return;
    sim->events_.push_back(std::make_unique<Event>(
        Event{Clock::now(), [sim] {
                std::fprintf(stderr, "orq-devsim: MIDI service gone; waiting for it\n");
                sim->closePorts();
                sim->reopenAfter(std::chrono::milliseconds(50));
              }}));
  }
  sim->wake_.notify_one();
}

void Simulator::reopenAfter(std::chrono::milliseconds wait) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::make_unique<Event>(
      Event{Clock::now() + wait, [this, wait] {
              openPorts();
              if (plugged()) {
                std::fprintf(stderr, "orq-devsim: MIDI service back; ports open again\n");
              } else {
                reopenAfter(std::min(wait * 2, std::chrono::milliseconds(1000)));
              }
            }}));
}

bool Simulator::plugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plugged_;
}

void Simulator::onMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* sim = static_cast<Simulator*>(self);
  if (!message || message->empty()) return;
  {
    std::lock_guard<std::mutex> lock(sim->mutex_);
    sim->inbox_.emplace_back(message->begin(), message->end());
  }
  sim->wake_.notify_one();
}

void Simulator::setSilent(bool silent) {
  silenced_ = silent;
}

void Simulator::log(const Record& r) {
  const double t = std::chrono::duration<double>(r.time - startTime_).count();
  std::lock_guard<std::mutex> lock(mutex_);
  if (logFile_) {
    std::fprintf(logFile_, "%10.3f %s %-14s %s\n", t, r.sent ? "->" : "<-", r.name.c_str(),
                 hex(r.bytes).c_str());
    std::fflush(logFile_);
  }
  records_.push_back(r);
}

void Simulator::send(const Bytes& message) {
  if (options_.silent || !ports_ || !ports_->pair.out) return;
  safeSend(ports_->pair.out.get(), message.data(), message.size());
  log({Clock::now(), true, replyName(message), message});
}

void Simulator::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (running_) {
    auto nextDue = Clock::time_point::max();
    for (const auto& e : events_) nextDue = std::min(nextDue, e->due);
    if (inbox_.empty()) {
      if (nextDue == Clock::time_point::max())
        wake_.wait(lock);
      else
        wake_.wait_until(lock, nextDue);
    }
    if (!running_) break;

    std::deque<Bytes> messages;
    messages.swap(inbox_);
    std::vector<std::unique_ptr<Event>> due;
    const Clock::time_point now = Clock::now();
    for (auto it = events_.begin(); it != events_.end();) {
      if ((*it)->due <= now) {
        due.push_back(std::move(*it));
        it = events_.erase(it);
      } else {
        ++it;
      }
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->due < b->due; });
    lock.unlock();

    for (const Bytes& m : messages) {
      const Record in{Clock::now(), false, requestName(m), m};
      log(in);
      std::vector<Bytes> replies;
      bool restart = false;
      {
        std::lock_guard<std::mutex> l(mutex_);
        if (plugged_) replies = device_.receive(m);
        if (silenced_) replies.clear();
        restart = std::exchange(device_.restarting, false);
      }
      // A device restarting into new firmware leaves the bus and comes back with new ports.
      if (restart && options_.restartPortsMs > 0)
        unplug(std::chrono::milliseconds(options_.restartPortsMs));
      for (const Bytes& reply : replies) {
        Bytes junk;
        if (options_.garbage) {
          junk = kGarbage[garbageTurn_ % std::size(kGarbage)];
          ++garbageTurn_;
        }
        if (options_.replyDelayMs > 0) {
          const auto when = Clock::now() + std::chrono::milliseconds(options_.replyDelayMs);
          std::lock_guard<std::mutex> l(mutex_);
          if (!junk.empty())
            events_.push_back(std::make_unique<Event>(Event{when, [this, junk] { send(junk); }}));
          events_.push_back(std::make_unique<Event>(Event{when, [this, reply] { send(reply); }}));
        } else {
          if (!junk.empty()) send(junk);
          send(reply);
        }
      }
    }
    for (const auto& e : due) e->action();
    lock.lock();
  }
}

// Steps the program (0, 1, 2, ...) with a CHANGE_NOTICE and arms the next step.
void Simulator::programTick() {
  Bytes notice;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notice = device_.changeProgram((device_.program + 1) % Device::kPrograms);
    events_.push_back(std::make_unique<Event>(
        Event{Clock::now() + std::chrono::milliseconds(options_.programEveryMs),
              [this] { programTick(); }}));
  }
  send(notice);
}

void Simulator::changeProgram(int program) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::make_unique<Event>(Event{Clock::now(), [this, program] {
                                                      Bytes notice;
                                                      {
                                                        std::lock_guard<std::mutex> l(mutex_);
                                                        notice = device_.changeProgram(program);
                                                      }
                                                      send(notice);
                                                    }}));
  }
  wake_.notify_one();
}

void Simulator::unplug(std::chrono::milliseconds pause) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(
        std::make_unique<Event>(Event{Clock::now(), [this, pause] {
                                        closePorts();
                                        if (pause.count() > 0) {
                                          std::lock_guard<std::mutex> l(mutex_);
                                          events_.push_back(std::make_unique<Event>(Event{
                                              Clock::now() + pause, [this] { openPorts(); }}));
                                        }
                                      }}));
  }
  wake_.notify_one();
}

void Simulator::plug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::make_unique<Event>(Event{Clock::now(), [this] { openPorts(); }}));
  }
  wake_.notify_one();
}

void Simulator::sendRaw(const Bytes& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(
        std::make_unique<Event>(Event{Clock::now(), [this, message] { send(message); }}));
  }
  wake_.notify_one();
}

std::vector<Record> Simulator::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

void Simulator::clearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

bool Simulator::waitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
                        std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (predicate(records())) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

Device Simulator::device() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_;
}

}  // namespace orq::devsim
