// What every orqctl command runs in: the editor's state record, a DeviceLink and the MIDI
// ports, owned by one job thread while the main thread draws progress and watches for Ctrl-C.
// Commands build their result as text and the main thread prints it, so the progress bar and the
// output never interleave.
#pragma once

#include <functional>
#include <string>

#include "device/device_link.h"
#include "device/link_io.h"
#include "state/editor_state.h"
#include "tools/orqctl/outcome.h"

namespace orqctl {

// JSON string literal of UTF-8 text.
std::string jsonString(const std::string& text);

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  orq::EditorState& state() { return state_; }
  orq::DeviceLink link;

  // Creates the port objects on the MIDI service (job thread). False when there is none.
  bool openService();
  // Finds and opens the one device `port` selects (see taggedPorts), then asks it for its
  // version. kDone when it answered; kUsage when several devices match.
  Outcome openDevice(const std::string& port);
  // Interrupted by Ctrl-C (or the service went away): what was running gave up.
  bool interrupted() const;
  Outcome interruption(const std::string& what) const;

  // Runs `job` on a thread of its own and waits for it. While it runs, a progress bar shows
  // statusCode 0..100 on stderr when stderr is a terminal. Ctrl-C asks the job to stop; a job
  // still held by a MIDI library call a second later is left behind and the process ends.
  Outcome run(const std::function<Outcome(Session&)>& job, const std::string& label);

 private:
  orq::EditorState state_;
};

}  // namespace orqctl
