// The ORQ device simulator: an ORQ preamp on the MIDI service, with virtual ports named with a
// model tag, 128 settings blocks, six IR slots, a firmware version and receive buffers, plus
// fault options for testing. Used in-process by the integration tests and by orq-devsim.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orq::devsim {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Options {
  int model = 0;         // 0: "ORQ OR-1", 1: "ORQ KTB", 2: "ORQ KTC" port base names
  std::string portBase;  // overrides the model's base name ("<base> MIDI In" / "MIDI Out")
  std::string clientName = "orq-devsim";
  uint16_t firmware = 0x0102;  // high byte major, low byte minor
  std::string logPath;         // one line per message; empty: no file
  // Non-zero: the programs start with settings of their own drawn from this seed, and the MIDI
  // channel and boost lock too, so that two simulated devices can hold different settings.
  uint32_t settingsSeed = 0;
  // Faults.
  bool silent = false;  // never send anything
  // Never answer requests with this code (e.g. 0x02 READ_SETTINGS); for 0x01 (WRITE_SETTINGS,
  // which has no answer) the settings are not taken either, as if every one was lost.
  int ignoreCode = -1;
  int dropAckChunk = -1;          // no ACK for the chunk at offset dropAckChunk * 256 ...
  int dropAckTimes = -1;          // ... the first this many times it comes (-1: every time)
  int replyDelayMs = 0;           // every reply goes out this late
  bool garbage = false;           // each reply is preceded by one malformed or foreign message
  int unplugAfterMs = -1;         // close the ports this long after start ...
  int unplugForMs = 1000;         // ... and reopen them after this pause
  int programEveryMs = 0;         // step the current program (with CHANGE_NOTICE) this often
  bool noticeAfterCommit = true;  // false: no CHANGE_NOTICE after a committed transfer
  bool keepFirmware = false;      // take a firmware image but keep running the old version
  bool dumpOtherProgram = false;  // READ_SETTINGS of program p answered with p + 1's dump
  int versionBytes = 2;           // VERSION carries this many of its two bytes (0, 1: too short)
  int restartPortsMs = 0;         // the reset that installs new firmware closes the ports this long
};

// One message on the wire, as the simulator saw it.
struct Record {
  Clock::time_point time;
  bool sent = false;  // false: received from the editor
  std::string name;   // decoded name, e.g. "IDENTIFY", "SETTINGS_DUMP", "MALFORMED"
  Bytes bytes;
};

// Wire names of the requests a device understands (by code), and the checks a device makes.
std::string requestName(const Bytes& message);  // "MALFORMED" when framing or length is wrong
std::string replyName(const Bytes& message);    // for the simulator's own messages
std::string hex(const Bytes& bytes);

// The device state and its answers, without any port: `receive` applies one message from the
// editor and returns what the device sends back, in order.
class Device {
 public:
  static constexpr int kPrograms = 128;
  static constexpr int kSlots = 6;
  static constexpr int kBlockBytes = 12;  // wire bytes 5..16 of a settings message
  static constexpr size_t kFirmwareSize = 131072;
  static constexpr size_t kIrBufferSize = 65536;

  explicit Device(const Options& options);

  std::vector<Bytes> receive(const Bytes& message);
  // The device's own program change: the CHANGE_NOTICE it sends.
  Bytes changeProgram(int program);

  // State, for tests and the log.
  int program = 0;
  uint8_t packed = 0x01;  // MIDI channel 1, boost lock off
  uint8_t blocks[kPrograms][kBlockBytes] = {};
  std::string slotNames[kSlots];  // as stored, e.g. "0_GREEN 412"
  Bytes slotImages[kSlots];
  uint16_t firmware = 0;
  int stores = 0;
  int resets = 0;
  Bytes firmwareBuffer;
  Bytes irBuffer;
  // A firmware image is taken only when its chunks came at offsets 0, 256, ... up to the end,
  // each once, before its END_TRANSFER; it is installed by the next RESET.
  uint32_t firmwareNext = 0;    // offset the next chunk must have
  bool firmwareInOrder = true;  // no chunk so far was out of place
  bool firmwareStaged = false;  // a whole image was committed and waits for the reset ...
  uint16_t stagedVersion = 0;   // ... with this version stamp
  int firmwareRefused = 0;      // commits refused because the image was not whole and in order
  int acksDropped = 0;          // ACKs left out for dropAckChunk so far
  bool restarting = false;      // the last RESET restarted into a committed image (simulator)

 private:
  Options options_;
};

class Simulator {
 public:
  explicit Simulator(Options options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the ports and starts the simulator's thread. False when no MIDI API could be used.
  // When the service goes away later, the ports are closed and opened again once it is back.
  bool start();
  void stop();

  std::string inPortName() const;   // the port the editor sends to
  std::string outPortName() const;  // the port the editor listens to

  // Requests handled by the simulator's thread, in order.
  void changeProgram(int program);
  void unplug(std::chrono::milliseconds pauseBeforeReplug);  // <= 0: stay unplugged
  void plug();
  void sendRaw(const Bytes& message);
  // A device that stops answering (and later answers again): it still takes every message, and
  // sends what it is told to (changeProgram, sendRaw), but no reply.
  void setSilent(bool silent);

  // Whether the ports exist right now (false while unplugged).
  bool plugged() const;

  std::vector<Record> records() const;
  void clearRecords();
  // Waits until `predicate` holds for the records or the timeout passes.
  bool waitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
               std::chrono::milliseconds timeout) const;

  // A copy of the device state (taken under the simulator's lock).
  Device device() const;

 private:
  struct Event;
  struct Ports;
  void run();
  void programTick();
  void openPorts();
  void closePorts();
  void send(const Bytes& message);
  void log(const Record& record);
  static void onMessage(double, std::vector<unsigned char>* message, void* self);
  static void onServiceLost(void* self);
  void reopenAfter(std::chrono::milliseconds wait);

  Options options_;
  Device device_;
  std::unique_ptr<Ports> ports_;
  std::thread thread_;
  Clock::time_point startTime_;
  std::FILE* logFile_ = nullptr;

  mutable std::mutex mutex_;  // guards everything below, and device_
  mutable std::condition_variable wake_;
  std::deque<Bytes> inbox_;
  std::vector<std::unique_ptr<Event>> events_;  // timed sends and commands, by due time
  std::vector<Record> records_;
  bool running_ = false;
  bool plugged_ = false;
  size_t garbageTurn_ = 0;
  std::atomic<bool> silenced_{false};  // setSilent: no replies
};

}  // namespace orq::devsim
