// orqctl's commands. Each one checks what it was given before it touches the device, so that a
// refused file or a bad operand never sends anything; the device work runs in Session::run.
//
// Sections: operands and files; devices and info; settings; backup and restore; IRs; firmware.
#include "tools/orqctl/commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/device_ops.h"
#include "device/device_state.h"
#include "device/firmware.h"
#include "device/ir_transfer.h"
#include "device/librarian.h"
#include "device/protocol.h"
#include "device/safety_backup.h"
#include "device/settings_file.h"
#include "files/file_path.h"
#include "files/user_folders.h"
#include "ir/catalogue.h"
#include "ir/ir_export.h"
#include "ir/wav_import.h"
#include "tools/orqctl/settings_text.h"

namespace orqctl {
namespace {

using orq::BackupContent;
using orq::checkSettings;
using orq::decodeBackup;
using orq::encodeBackup;
using orq::kBackupPrograms;
using orq::ProgramSettings;
using orq::Request;
using orq::TransferResult;
using Clock = std::chrono::steady_clock;

// Larger files are refused unread: they cannot be a backup (2304 bytes).
constexpr uintmax_t kMaxBackupFileBytes = 1 << 20;

// ---------------------------------------------------------------- operands and files

std::string versionText(uint16_t v) {
  return orq::firmwareVersionText(v);
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The whole file, or why not: missing, unreadable, or larger than `limit` (checked first).
struct FileBytes {
  std::vector<uint8_t> bytes;
  std::string error;
};

FileBytes readFile(const std::string& path, uintmax_t limit) {
  const std::filesystem::path file = orq::filePath(orq::widePath(path));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return {{}, path + ": not a file"};
  const uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return {{}, path + ": cannot be read"};
  if (size > limit) return {{}, path + ": " + std::to_string(size) + " bytes is too large"};
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return {{}, path + ": cannot be read"};
  return {std::move(bytes), {}};
}

// Writes through a temporary file beside `path`, so that a failed backup never replaces a good
// one. Opened before the device is read, so that a folder that cannot be written is known first.
class AtomicFile {
 public:
  explicit AtomicFile(const std::string& path)
      : path_(orq::filePath(orq::widePath(path))),
        part_(orq::filePath(orq::widePath(path + ".part"))) {
    file_.open(part_, std::ios::binary | std::ios::trunc);
  }
  ~AtomicFile() {
    if (committed_) return;
    if (file_.is_open()) file_.close();
    std::error_code ec;
    std::filesystem::remove(part_, ec);
  }
  bool open() const { return file_.is_open(); }
  bool commit(const std::vector<uint8_t>& bytes) {
    file_.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    file_.close();
    std::error_code ec;
    if (file_) std::filesystem::rename(part_, path_, ec);  // replaces an older backup
    committed_ = file_ && !ec;
    return committed_;
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path part_;
  std::ofstream file_;
  bool committed_ = false;
};

// The device's programs into a safety backup before they are replaced (unless --no-safety-backup):
// empty, with `path` set (or left empty when none was asked for), or the outcome that stops the
// command. Counts its 128 reads into the progress line, of `total` steps in all.
Outcome safetyBackup(Session& s, const Invocation& inv, const std::string& what, int total,
                     std::wstring& path) {
  if (!inv.safetyBackup) return {};
  const orq::SafetyBackup b =
      orq::makeSafetyBackup(s.link, orq::safetyBackupFolder(), what,
                            [&](int done) { s.state().statusCode = done * 100 / total; });
  if (b.stopped) return s.interruption("nothing was sent; the safety backup was not finished");
  if (b.path.empty()) {
    return failed(kBadFile,
                  "the device's programs could not be kept in a safety backup first: " + b.error +
                      "; nothing was sent (--no-safety-backup goes on "
                      "without one)");
  }
  path = b.path;
  return {};
}

// The line (or JSON member) that says where the device's programs from before went.
std::string safetyText(const Invocation& inv, const std::wstring& path) {
  const std::string native = orq::nativePath(path);
  if (inv.json) return ", \"safety_backup\": " + (path.empty() ? "null" : jsonString(native));
  return path.empty() ? "" : "the programs before it are in " + native + "\n";
}

// Runs `work` on the device `inv.port` selects, once it has answered IDENTIFY.
Outcome onDevice(const Invocation& inv, const std::string& label,
                 const std::function<Outcome(Session&)>& work) {
  Session session;
  return session.run(
      [&](Session& s) {
        Outcome o = s.openDevice(inv.port);
        return o.status == kDone ? work(s) : o;
      },
      label);
}

Outcome notAnswering(const std::string& what) {
  return failed(kNoDevice, "the device did not answer " + what + " within 1 s");
}

// Reads `program` from the device; with `globals`, also program 0, whose dump alone carries the
// device-wide values. The settings as the device holds them, or an outcome saying why not.
Outcome readProgram(Session& s, int program, bool globals, ProgramSettings& out) {
  std::vector<int> reads{program};
  if (globals && program != 0) reads.push_back(0);
  for (int p : reads) {
    // An answer of the device's that is another program's dump counts as an answer, but is no
    // reading of this program: only a dump of this one sets its received flag again.
    s.state().programBlocks[p][orq::kReceived] = 0;
    switch (orq::requestSettings(s.link, p)) {
      case Request::Arrived:
        if (s.state().programBlocks[p][orq::kReceived].get() == 1) break;
        return notAnswering("READ_SETTINGS for program " + std::to_string(p) +
                            " with that program's settings");
      case Request::Stopped:
        return s.interruption("program " + std::to_string(p) + " was not read");
      default:
        return notAnswering("READ_SETTINGS for program " + std::to_string(p));
    }
  }
  out = orq::settingsOf(s.state(), program);
  return {};
}

// ---------------------------------------------------------------- devices and info

Outcome devices(const Invocation& inv) {
  Session session;
  return session.run(
      [&](Session& s) {
        if (!s.openService())
          return failed(kNoDevice, "no MIDI service: no ALSA sequencer and no JACK server running");
        struct Row {
          const char* direction;
          orq::TaggedPort port;
        };
        std::vector<Row> rows;
        for (auto& p : orq::taggedPorts(*s.link.midiIn, inv.port)) rows.push_back({"from", p});
        for (auto& p : orq::taggedPorts(*s.link.midiOut, inv.port)) rows.push_back({"to", p});
        if (rows.empty()) return failed(kNoDevice, "no ORQ device found");
        Outcome o;
        if (inv.json) {
          o.out = "{\"ports\": [";
          for (size_t i = 0; i < rows.size(); ++i) {
            o.out += (i ? ", " : "") + std::string("{\"direction\": \"") + rows[i].direction +
                     " device\", \"model\": " + std::to_string(rows[i].port.kind) +
                     ", \"name\": " + jsonString(rows[i].port.name) + "}";
          }
          o.out += "]}\n";
        } else {
          for (const Row& r : rows) {
            o.out += std::string(r.direction) + (r.direction[0] == 't' ? "   " : " ") +
                     "device  model " + std::to_string(r.port.kind) + "  " + r.port.name + "\n";
          }
        }
        return o;
      },
      "");
}

Outcome info(const Invocation& inv) {
  return onDevice(inv, "", [&](Session& s) {
    orq::EditorState& state = s.state();
    // The editor's read of a device just found, ending at the first request left unanswered.
    ProgramSettings current;
    Outcome read = readProgram(s, state.program.get(), true, current);
    if (read.status != kDone) return read;
    switch (orq::readSlotNames(s.link)) {
      case Request::Arrived:
        break;
      case Request::Stopped:
        return s.interruption("the slot names were not read");
      default:
        return notAnswering("READ_SLOT_NAME");
    }
    const int32_t model = state.modelKind;
    Outcome o;
    if (inv.json) {
      o.out = "{\"model\": " + std::to_string(model) +
              ", \"firmware\": " + jsonString(versionText(state.deviceFirmwareVersion)) +
              ", \"program\": " + std::to_string(state.program.get()) +
              ", \"midiChannel\": " + std::to_string(state.midiChannel.get()) +
              ", \"boostLock\": " + (state.boostLock.get() ? "true" : "false") + ", \"slots\": [";
      for (int slot = 0; slot < orq::kSlotCount; ++slot)
        o.out += (slot ? ", " : "") + jsonString(orq::nativePath(state.slotName(slot)));
      o.out += "]}\n";
    } else {
      o.out = "model         " + std::to_string(model) + "\nfirmware      " +
              versionText(state.deviceFirmwareVersion) + "\nprogram       " +
              std::to_string(state.program.get()) + "\nmidi-channel  " +
              midiChannelText(state.midiChannel) + "\nboost-lock    " +
              (state.boostLock.get() ? "on" : "off") + "\n";
      for (int slot = 0; slot < orq::kSlotCount; ++slot) {
        const std::string name = orq::nativePath(state.slotName(slot));
        o.out += "slot " + std::to_string(slot + 1) + "        " +
                 (name.empty() ? "(no IR)" : name) + "\n";
      }
    }
    return o;
  });
}

// ---------------------------------------------------------------- settings

Outcome settingsOutcome(const Invocation& inv, const ProgramSettings& settings, int32_t model,
                        std::string note = {}) {
  Outcome o;
  if (inv.json) {
    o.out = "{\"program\": " + std::to_string(settings.program) +
            ", \"model\": " + std::to_string(model) + ", \"settings\": {" +
            settingsJson(settings, model) + "}";
    if (!note.empty()) o.out += ", \"stored\": " + std::string(inv.store ? "true" : "false");
    o.out += "}\n";
  } else {
    o.out = settingsText(settings, model);
    if (!note.empty()) o.err = note;
  }
  return o;
}

Outcome get(const Invocation& inv) {
  const ProgramOperands operands = getOperands(inv.operands);
  if (!operands.error.empty()) return failed(kUsage, operands.error);
  const int program = operands.program;
  return onDevice(inv, "", [&](Session& s) {
    const int p = program >= 0 ? program : s.state().program.get();
    ProgramSettings settings;
    Outcome o = readProgram(s, p, false, settings);
    return o.status == kDone ? settingsOutcome(inv, settings, s.state().modelKind) : o;
  });
}

Outcome set(const Invocation& inv) {
  const ProgramOperands operands = setOperands(inv.operands);
  if (!operands.error.empty()) return failed(kUsage, operands.error);
  const int program = operands.program;
  const std::vector<SettingEdit>& edits = operands.edits;
  return onDevice(inv, "", [&](Session& s) {
    const int p = program >= 0 ? program : s.state().program.get();
    // Every WRITE_SETTINGS carries the device-wide values too: they are read first, so that a
    // change to one program never resets the MIDI channel or the boost lock.
    ProgramSettings want;
    Outcome o = readProgram(s, p, true, want);
    if (o.status != kDone) return o;
    for (const SettingEdit& e : edits) applySetting(e, want);
    switch (orq::sendSettings(s.link, want)) {
      case orq::Send::Sent:
        break;
      case orq::Send::NotSent:
        return failed(kNoDevice, "the settings could not be sent: the device's port is closed");
      case orq::Send::Stopped:
        return s.interruption("the settings were sent but not read back");
    }
    // The device does not acknowledge settings; reading them back does, and the editor, if it
    // runs, hears the answer and shows the new values.
    ProgramSettings now;
    o = readProgram(s, p, true, now);
    if (o.status != kDone) return o;
    if (now != want)
      return failed(kNoDevice,
                    "program " + std::to_string(p) + " reads back other settings than were sent");
    if (inv.store && !orq::sendStore(s.link)) return s.interruption("STORE was sent");
    return settingsOutcome(
        inv, now, s.state().modelKind,
        inv.store ? "program " + std::to_string(p) + " set and stored"
                  : "program " + std::to_string(p) + " set, not stored (orqctl store keeps it)");
  });
}

Outcome store(const Invocation& inv) {
  return onDevice(inv, "", [&](Session& s) {
    if (!orq::sendStore(s.link)) return s.interruption("STORE was sent");
    Outcome o;
    o.out = inv.json ? "{\"stored\": true}\n" : "stored\n";
    return o;
  });
}

// ---------------------------------------------------------------- backup and restore

std::string globalsJson(const ProgramSettings& s) {
  return "\"midiChannel\": " + std::to_string(s.midiChannel) +
         ", \"boostLock\": " + (s.boostLock ? "true" : "false");
}

std::string globalsText(const ProgramSettings& s) {
  return "MIDI channel " + midiChannelText(s.midiChannel) + ", boost lock " +
         (s.boostLock ? "on" : "off");
}

void showProgress(Session& s, int done, int total) {
  s.state().statusCode = done * 100 / total;
}

Outcome backup(const Invocation& inv) {
  const std::string path = inv.operands[0];
  AtomicFile file(path);
  if (!file.open()) return failed(kBadFile, path + ": cannot be written");
  return onDevice(inv, "backup ", [&](Session& s) {
    const Clock::time_point start = Clock::now();
    const orq::LibrarianRun run =
        orq::backUpAll(s.link, [&](int done) { showProgress(s, done, kBackupPrograms); });
    if (run.stopped) {
      return s.interruption("program " + std::to_string(run.done) + " was not read");
    }
    if (!run.error.empty()) return failed(kNoDevice, run.error);
    const std::vector<ProgramSettings>& programs = run.programs;
    Outcome o;
    for (const ProgramSettings& p : programs) {
      const std::string odd = checkSettings(p);
      if (!odd.empty()) {
        o.err += "warning: program " + std::to_string(p.program) + " holds " + odd +
                 ", outside its documented range; kept as the device has it\n";
      }
    }
    if (!file.commit(encodeBackup(programs))) return failed(kBadFile, path + ": cannot be written");
    const double seconds = secondsSince(start);
    o.out = inv.json ? "{\"file\": " + jsonString(path) + ", \"programs\": 128, " +
                           globalsJson(programs[0]) + ", \"seconds\": " + fixed(seconds) + "}\n"
                     : "backed up 128 programs (" + globalsText(programs[0]) + ") to " + path +
                           " in " + fixed(seconds) + " s\n";
    return o;
  });
}

Outcome restore(const Invocation& inv) {
  const std::string path = inv.operands[0];
  const FileBytes file = readFile(path, kMaxBackupFileBytes);
  if (!file.error.empty()) return failed(kBadFile, file.error + "; nothing was sent");
  const BackupContent content = decodeBackup(file.bytes.data(), file.bytes.size());
  if (!content.error.empty())
    return failed(kBadFile, path + ": " + content.error + "; nothing was sent");
  const std::vector<ProgramSettings>& programs = content.programs;
  std::string warnings;
  for (const std::string& w : content.warnings)
    warnings += "warning: " + w + ", outside its documented range; sent as it is\n";

  Outcome done = onDevice(inv, "restore", [&](Session& s) {
    const Clock::time_point start = Clock::now();
    // The safety backup's reads, then each program sent, then read back.
    const int kept = inv.safetyBackup ? kBackupPrograms : 0;
    const int total = kept + 2 * kBackupPrograms;
    std::wstring safety;
    if (Outcome o = safetyBackup(s, inv, "restore", total, safety); o.status != kDone) return o;
    const orq::LibrarianRun run =
        orq::restoreAll(s.link, programs, [&](int done) { showProgress(s, kept + done, total); });
    if (run.stopped && run.done < kBackupPrograms) {
      return s.interruption(std::to_string(run.done) + " of 128 programs were sent; the device " +
                            "holds a mix of its own and the file's settings (nothing stored)");
    }
    if (run.stopped) {
      return s.interruption("program " + std::to_string(run.done - kBackupPrograms) +
                            " was not read back");
    }
    if (!run.error.empty()) {
      Outcome o = failed(kNoDevice, run.error);
      if (!safety.empty()) o.err += "\nthe programs before it are in " + orq::nativePath(safety);
      return o;
    }
    if (inv.store && !orq::sendStore(s.link)) return s.interruption("STORE was sent");
    const double seconds = secondsSince(start);
    Outcome o;
    o.out = inv.json
                ? "{\"file\": " + jsonString(path) + ", \"programs\": 128, " +
                      globalsJson(programs[0]) + ", \"stored\": " + (inv.store ? "true" : "false") +
                      safetyText(inv, safety) + ", \"seconds\": " + fixed(seconds) + "}\n"
                : "restored 128 programs (" + globalsText(programs[0]) + ") from " + path +
                      (inv.store ? " and stored them" : "; not stored") + " in " + fixed(seconds) +
                      " s\n" + safetyText(inv, safety);
    return o;
  });
  done.err = warnings + done.err;
  return done;
}

// ---------------------------------------------------------------- IRs

Outcome irList(const Invocation& inv) {
  Outcome o;
  if (inv.json) o.out = "{\"factory\": [";
  for (int i = 0; i < orq::kFactoryIrCount; ++i) {
    const orq::FactoryIr& ir = orq::factoryIr(i);
    const std::string name = orq::nativePath(ir.name);
    const uint32_t samples = orq::blobSamples(ir.blob).count;
    if (inv.json) {
      o.out += (i ? ", " : "") + std::string("{\"number\": ") + std::to_string(i + 1) +
               ", \"name\": " + jsonString(name) + ", \"samples\": " + std::to_string(samples) +
               ", \"description\": " + jsonString(orq::nativePath(ir.description)) + "}";
    } else {
      char line[96];
      std::snprintf(line, sizeof line, "%2d  %-22s %5u samples\n", i + 1, name.c_str(), samples);
      o.out += line;
    }
  }
  if (inv.json) o.out += "]}\n";
  return o;
}

std::string verdictText(const orq::ImportedIr& ir) {
  switch (ir.verdict) {
    case orq::WavVerdict::Accepted:
      return "accepted";
    case orq::WavVerdict::Unreadable:
      return "cannot be read";
    case orq::WavVerdict::Empty:
      return "is empty";
    case orq::WavVerdict::TooLarge:
      return "is larger than 64 MiB";
    case orq::WavVerdict::NotWave:
      return "is not a WAV file in an encoding the import takes";
    case orq::WavVerdict::Truncated:
      return "is truncated: its data chunk states " + std::to_string(ir.statedBytes) +
             " bytes of audio, and the file holds " + std::to_string(ir.presentBytes);
    case orq::WavVerdict::BadRate:
      return "has a sample rate of " + std::to_string(ir.rate) + " Hz (44100 to 96000 taken)";
    case orq::WavVerdict::BadChannels:
      return "has " + std::to_string(ir.channels) + " channels (1 or 2 taken)";
    case orq::WavVerdict::NothingDecoded:
      return "holds no audio";
    case orq::WavVerdict::Silent:
      return "is silent: every sample is within the quiet lead-in threshold (about -40 dBFS)";
    case orq::WavVerdict::TrimmedToNothing:
      return "leaves no sample after its quiet lead-in";
    case orq::WavVerdict::OutOfMemory:
      return "could not be decoded: out of memory";
  }
  return "is refused";
}

// The factory IRs' names, as --factory takes them.
std::vector<std::string> factoryNames() {
  std::vector<std::string> names;
  for (int i = 0; i < orq::kFactoryIrCount; ++i)
    names.push_back(orq::nativePath(orq::factoryIr(i).name));
  return names;
}

Outcome irLoad(const Invocation& inv) {
  int slot = 0;
  if (!parseNumber(inv.operands[0], 1, orq::kSlotCount, slot))
    return failed(kUsage, "slot '" + inv.operands[0] + "': slots are numbered 1 to 6");
  if (inv.hasFactory == (inv.operands.size() == 2))
    return failed(kUsage, "ir load takes a WAV file or --factory N, one of the two");
  const auto wire = static_cast<uint8_t>(slot - 1);
  int entry = -1;
  orq::ImportedIr imported;
  std::wstring path;
  if (inv.hasFactory) {
    entry = factoryEntry(inv.factory, factoryNames());
    if (entry < 0)
      return failed(kUsage, "--factory '" + inv.factory + "': no such entry (see orqctl ir list)");
  } else {
    path = orq::widePath(inv.operands[1]);
    imported = orq::importWavFile(path);
    if (imported.verdict != orq::WavVerdict::Accepted)
      return failed(kBadFile, inv.operands[1] + " " + verdictText(imported) + "; nothing was sent");
  }
  return onDevice(inv, "slot " + std::to_string(slot), [&](Session& s) {
    const TransferResult r = inv.hasFactory ? orq::uploadCatalogueEntry(s.link, entry, wire)
                                            : orq::uploadImportedWav(s.link, path, imported, wire);
    if (r == TransferResult::Stopped)
      return s.interruption("the transfer stopped before its commit; the slot keeps its IR");
    if (r == TransferResult::Failed)
      return failed(kNoDevice,
                    "the device stopped acknowledging the transfer; the slot keeps its IR");
    // Then the slot's new name is read back.
    const Request named = orq::finishUpload(s.link, r, wire, orq::ReadAgain::SlotName);
    if (named == Request::Stopped) return s.interruption("the IR was sent and committed");
    if (named != Request::Arrived) return notAnswering("READ_SLOT_NAME after the commit");
    const std::string name = orq::nativePath(s.state().slotName(wire));
    Outcome o;
    o.out = inv.json
                ? "{\"slot\": " + std::to_string(slot) + ", \"name\": " + jsonString(name) + "}\n"
                : "slot " + std::to_string(slot) + " now holds " + name + "\n";
    return o;
  });
}

Outcome irExport(const Invocation& inv) {
  const std::string folder = inv.operands[0];
  std::error_code ec;
  std::filesystem::create_directories(orq::filePath(orq::widePath(folder)), ec);
  if (ec || orq::exportFactoryIrs(orq::widePath(folder)) != orq::ExportResult::Written)
    return failed(kBadFile, folder + ": the factory IRs could not all be written there");
  Outcome o;
  o.out = inv.json ? "{\"folder\": " + jsonString(folder) + ", \"files\": 18}\n"
                   : "wrote the 18 factory IRs to " + folder + "\n";
  return o;
}

// ---------------------------------------------------------------- firmware

constexpr std::chrono::milliseconds kRestartBudget{15000};

// After the flash: the device restarts, perhaps on new ports, and is looked for afresh until it
// tells its version again.
Outcome awaitRestart(Session& s, const Invocation& inv, uint16_t stamp) {
  switch (orq::awaitRestartedDevice(s.link, inv.port, kRestartBudget)) {
    case Request::Arrived:
      break;
    case Request::Stopped:
      return s.interruption("the image was sent and committed");
    case Request::NotSent:
    case Request::TimedOut:
      return failed(kNoDevice, "the device did not come back within 15 s of its restart");
  }
  const uint16_t now = s.state().deviceFirmwareVersion;
  if (now != stamp)
    return failed(kNoDevice, "the device restarted with firmware " + versionText(now) + ", not " +
                                 versionText(stamp));
  Outcome o;
  o.out = inv.json ? "{\"firmware\": " + jsonString(versionText(now)) + "}\n"
                   : "the device now runs firmware " + versionText(now) + "\n";
  return o;
}

Outcome firmware(const Invocation& inv) {
  const std::string path = inv.operands[0];
  const FileBytes file = readFile(path, orq::kFirmwareImageSize);
  if (!file.error.empty()) return failed(kBadFile, file.error + "; nothing was sent");
  if (file.bytes.size() != orq::kFirmwareImageSize) {
    return failed(kBadFile, path + ": " + std::to_string(file.bytes.size()) +
                                " bytes; a firmware image has 131072. Nothing was sent");
  }
  std::array<uint8_t, orq::kFirmwareImageSize> image;
  std::copy(file.bytes.begin(), file.bytes.end(), image.begin());
  const uint16_t stamp = orq::firmwareStamp(image);
  if (!orq::firmwareIsNewer(stamp, 0))
    return failed(kBadFile, path + ": no version stamp (erased image); nothing was sent");

  return onDevice(inv, "firmware", [&](Session& s) {
    const uint16_t device = s.state().deviceFirmwareVersion;
    if (!s.link.versionStated.get() && !inv.force) {
      return failed(kNoDevice,
                    "the device answered IDENTIFY without its firmware version; "
                    "nothing was sent (--force sends it anyway)");
    }
    if (!orq::firmwareIsNewer(stamp, device) && !inv.force) {
      return failed(kBadFile, path + " holds firmware " + versionText(stamp) +
                                  ", not newer than the device's " + versionText(device) +
                                  "; nothing was sent (--force sends it anyway)");
    }
    std::wstring safety;
    if (Outcome o = safetyBackup(s, inv, "firmware update", kBackupPrograms, safety);
        o.status != kDone)
      return o;
    std::copy(image.begin(), image.end(), orq::firmwareImage().begin());
    switch (orq::flashFirmware(s.link)) {
      case TransferResult::Committed: {
        Outcome o = awaitRestart(s, inv, stamp);
        if (o.status == kDone && inv.json) {
          o.out.insert(o.out.rfind('}'), safetyText(inv, safety));
        } else if (o.status == kDone) {
          o.out += safetyText(inv, safety);
        }
        return o;
      }
      case TransferResult::Stopped:
        return s.interruption("the image was not committed; the device keeps its firmware");
      case TransferResult::Failed:
        break;
    }
    return failed(kNoDevice,
                  "the device stopped acknowledging the image; it was reset and keeps "
                  "its firmware");
  });
}

}  // namespace

Outcome runCommand(const Invocation& inv) {
  const std::string& c = inv.command;
  if (c == "devices") return devices(inv);
  if (c == "info") return info(inv);
  if (c == "get") return get(inv);
  if (c == "set") return set(inv);
  if (c == "store") return store(inv);
  if (c == "backup") return backup(inv);
  if (c == "restore") return restore(inv);
  if (c == "ir list") return irList(inv);
  if (c == "ir load") return irLoad(inv);
  if (c == "ir export") return irExport(inv);
  if (c == "firmware") return firmware(inv);
  return failed(kUsage, "no command '" + c + "'");
}

}  // namespace orqctl
