// orq-devsim: runs the simulated ORQ device on the MIDI service until SIGINT or SIGTERM, so the
// editor can be tried and tested without hardware. Reads simple commands from standard input.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "tools/devsim/devsim.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) {
  gStop = 1;
}

const char kHelp[] =
    "usage: orq-devsim [options]\n"
    "Simulates an ORQ preamp on the MIDI service (ALSA sequencer, or JACK where there is none;\n"
    "ORQ_MIDI_API=alsa|jack forces one). Runs until SIGINT or SIGTERM.\n"
    "\n"
    "  --model N           0: ports \"ORQ OR-1 MIDI In/Out\", 1: \"ORQ KTB ...\", 2: \"ORQ KTC "
    "...\"\n"
    "  --name BASE         port base name instead (ports \"BASE MIDI In\", \"BASE MIDI Out\")\n"
    "  --client NAME       MIDI client name (default orq-devsim)\n"
    "  --firmware X.Y      firmware version reported by VERSION (default 1.2)\n"
    "  --log PATH          one line per message: seconds, <- received / -> sent, name, hex bytes\n"
    "  --settings-seed N   programs (and MIDI channel, boost lock) start with settings drawn\n"
    "                      from N instead of all alike\n"
    "Faults:\n"
    "  --silent            never answer anything\n"
    "  --ignore REQUEST    never answer this request (name such as READ_SETTINGS, or its code;\n"
    "                      WRITE_SETTINGS: never take the settings)\n"
    "  --drop-ack K        send no ACK for chunk K (the chunk at offset K*256) ...\n"
    "  --drop-ack-times N  ... only the first N times it comes (default: every time)\n"
    "  --delay MS          send every reply MS milliseconds late\n"
    "  --garbage           precede every reply with a malformed or foreign message\n"
    "  --unplug-after MS   close the ports MS milliseconds after start ...\n"
    "  --unplug-for MS     ... and reopen them after this pause (default 1000)\n"
    "  --program-every MS  step the current program with a CHANGE_NOTICE every MS milliseconds\n"
    "  --no-notice         send no CHANGE_NOTICE after a committed transfer\n"
    "  --keep-firmware     take a firmware image but report the old version after the reset\n"
    "  --other-dump        answer READ_SETTINGS of program p with the dump of p + 1\n"
    "  --short-version N   VERSION carries only N (0 or 1) of its two version bytes\n"
    "  --restart-ports MS  on the reset that installs new firmware, close the ports for MS ms\n"
    "Firmware: an image is taken only when its 512 chunks came in order (offsets 0, 256, ...),\n"
    "each once; otherwise its END_TRANSFER gets no ACK. The next RESET installs a taken image\n"
    "and VERSION reports its stamp from then on. --ignore END_TRANSFER takes the image but\n"
    "sends no ACK for the commit; --drop-ack K leaves one chunk unacknowledged.\n"
    "Commands on standard input (one per line):\n"
    "  program N           change program to N and send CHANGE_NOTICE\n"
    "  unplug [MS]         close the ports; reopen after MS milliseconds if given\n"
    "  plug                reopen the ports\n"
    "  raw HEX...          send these bytes, e.g. raw f0 00 03 f7\n"
    "  silent on|off       stop answering requests (still taking them) / answer again\n"
    "  quit                end\n";

int requestCode(const std::string& text) {
  static const struct {
    const char* name;
    int code;
  } kNames[] = {{"WRITE_SETTINGS", 0x01}, {"READ_SETTINGS", 0x02}, {"READ_SLOT_NAME", 0x04},
                {"FIRMWARE_CHUNK", 0x07}, {"IR_CHUNK", 0x08},      {"END_TRANSFER", 0x09},
                {"STORE", 0x0A},          {"IDENTIFY", 0x0B},      {"RESET", 0x0C}};
  for (const auto& n : kNames)
    if (text == n.name) return n.code;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 0);
  if (end && *end == '\0' && v >= 0 && v < 0x80) return static_cast<int>(v);
  return -1;
}

bool parseVersion(const std::string& text, uint16_t& out) {
  unsigned major = 0, minor = 0;
  if (std::sscanf(text.c_str(), "%u.%u", &major, &minor) == 2 && major < 128 && minor < 128) {
    out = static_cast<uint16_t>(major << 8 | minor);
    return true;
  }
  return false;
}

bool parseInt(const char* text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!end || *end != '\0' || v < -1 || v > 100000000) return false;
  out = static_cast<int>(v);
  return true;
}

void command(orq::devsim::Simulator& sim, const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  if (word == "program") {
    int p = -1;
    if (in >> p && p >= 0 && p < 128)
      sim.changeProgram(p);
    else
      std::fprintf(stderr, "orq-devsim: program needs a number 0..127\n");
  } else if (word == "unplug") {
    int ms = 0;
    in >> ms;
    sim.unplug(std::chrono::milliseconds(ms));
  } else if (word == "plug") {
    sim.plug();
  } else if (word == "raw") {
    orq::devsim::Bytes bytes;
    std::string h;
    while (in >> h) bytes.push_back(static_cast<uint8_t>(std::strtoul(h.c_str(), nullptr, 16)));
    if (!bytes.empty()) sim.sendRaw(bytes);
  } else if (word == "silent") {
    std::string how;
    in >> how;
    if (how == "on" || how == "off")
      sim.setSilent(how == "on");
    else
      std::fprintf(stderr, "orq-devsim: silent needs on or off\n");
  } else if (word == "quit") {
    gStop = 1;
  } else if (!word.empty()) {
    std::fprintf(stderr, "orq-devsim: unknown command '%s'\n", word.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  orq::devsim::Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--silent") {
      o.silent = true;
    } else if (a == "--garbage") {
      o.garbage = true;
    } else if (a == "--no-notice") {
      o.noticeAfterCommit = false;
    } else if (a == "--keep-firmware") {
      o.keepFirmware = true;
    } else if (a == "--other-dump") {
      o.dumpOtherProgram = true;
    } else if (!v) {
      ok = false;
    } else {
      ++i;
      if (a == "--model")
        ok = parseInt(v, o.model) && o.model >= 0 && o.model <= 2;
      else if (a == "--name")
        o.portBase = v;
      else if (a == "--client")
        o.clientName = v;
      else if (a == "--firmware")
        ok = parseVersion(v, o.firmware);
      else if (a == "--log")
        o.logPath = v;
      else if (a == "--ignore")
        ok = (o.ignoreCode = requestCode(v)) >= 0;
      else if (a == "--short-version")
        ok = parseInt(v, o.versionBytes) && o.versionBytes >= 0 && o.versionBytes <= 1;
      else if (a == "--drop-ack")
        ok = parseInt(v, o.dropAckChunk);
      else if (a == "--drop-ack-times")
        ok = parseInt(v, o.dropAckTimes);
      else if (a == "--delay")
        ok = parseInt(v, o.replyDelayMs);
      else if (a == "--unplug-after")
        ok = parseInt(v, o.unplugAfterMs);
      else if (a == "--unplug-for")
        ok = parseInt(v, o.unplugForMs);
      else if (a == "--program-every")
        ok = parseInt(v, o.programEveryMs);
      else if (a == "--restart-ports")
        ok = parseInt(v, o.restartPortsMs);
      else if (a == "--settings-seed") {
        int seed = 0;
        ok = parseInt(v, seed) && seed > 0;
        o.settingsSeed = static_cast<uint32_t>(seed);
      } else
        ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "orq-devsim: bad option '%s' (see --help)\n", a.c_str());
      return 2;
    }
  }

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  orq::devsim::Simulator sim(o);
  if (!sim.start()) {
    std::fprintf(stderr,
                 "orq-devsim: no MIDI service: no ALSA sequencer (/dev/snd/seq) and no JACK server "
                 "(start one, e.g. scripts/with-jack.sh)\n");
    return 1;
  }
  std::printf("orq-devsim: ports \"%s\" and \"%s\", firmware %u.%u; Ctrl-C ends\n",
              sim.inPortName().c_str(), sim.outPortName().c_str(), o.firmware >> 8,
              o.firmware & 0xFF);
  std::fflush(stdout);

  bool stdinOpen = true;
  std::string pending;
  while (!gStop) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int r = stdinOpen ? ::poll(&p, 1, 100) : (::usleep(100000), 0);
    if (r <= 0 || !(p.revents & (POLLIN | POLLHUP))) continue;
    char buf[256];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      stdinOpen = false;  // no more commands; keep running until a signal
      continue;
    }
    pending.append(buf, static_cast<size_t>(n));
    for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
      command(sim, pending.substr(0, nl));
      pending.erase(0, nl + 1);
    }
  }
  // Stopping closes the ports, which needs the JACK server's answers; a server that stopped
  // answering (or stalls on a client that vanished) must not keep this process alive. The log is
  // flushed line by line, so leaving without the rest of stop() loses nothing.
  std::promise<void> stopped;
  std::future<void> done = stopped.get_future();
  std::thread stopper([&] {
    sim.stop();
    stopped.set_value();
  });
  if (done.wait_for(std::chrono::milliseconds(700)) != std::future_status::ready) {
    std::fprintf(stderr, "orq-devsim: the MIDI service does not answer; leaving without it\n");
    std::fflush(nullptr);
    std::_Exit(0);
  }
  stopper.join();
  return 0;
}
