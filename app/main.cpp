// Entry: the Platform, then the Ui over it, then the DeviceLink and its worker; the window is
// shown and the loop runs until the window is closed (or a termination signal arrives). At
// shutdown the worker is told to stop and joined before the objects it touches go away; if a MIDI
// library call holds it past the join's budget, the process ends without it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "app/platform.h"
#include "device/device_link.h"
#include "ui/ui.h"

namespace {
// The worker leaves within milliseconds of a stop request unless a MIDI call blocks (a JACK
// server that stopped answering makes RtMidi wait a second, or for ever). The close must end the
// process within a second, so the join waits this long and no longer.
constexpr std::chrono::milliseconds kJoinBudget{500};
}  // namespace

int main(int argc, char** argv) {
  const std::string identifier = "com.tarvik.editor";
  const std::string title = "Tarvik Editor";
  orq::Platform platform(title, identifier);
  orq::Ui ui(&platform);
  // orq-editor FILE.syx: opened (a program) or restored after asking (a backup) once the device
  // is connected.
  ui.setGivenFile(orq::commandLineFile(argc, argv));

  orq::DeviceLink link;
  link.host = &platform;
  link.state = &ui;
  orq::DeviceLink::setCurrent(&link);
  std::promise<void> workerDone;
  std::future<void> workerEnded = workerDone.get_future();
  link.workerThread = std::thread([&link, done = std::move(workerDone)]() mutable {
    orq::runWorker(&link);
    done.set_value();
  });

  int status = 0;
  if (platform.hasWindow()) {
    platform.show();
    platform.runLoop();
  } else {
    std::fprintf(stderr, "orq-editor: no display to open the window on (is DISPLAY set?)\n");
    status = 1;
  }

  orq::requestStop(link);
  platform.closeDialogs();  // a worker waiting on a dialog gets its empty answer and ends
  if (workerEnded.wait_for(kJoinBudget) != std::future_status::ready) {
    // Only a MIDI call holds the worker this long: the files it writes take milliseconds and
    // reach their names by a rename, so nothing of the user's is half-written. Ending here skips
    // the destructors of the objects the worker may still reach.
    std::fprintf(stderr, "orq-editor: the MIDI service does not answer; closing without it\n");
    std::fflush(nullptr);
    std::_Exit(status);
  }
  link.workerThread.join();
  orq::DeviceLink::setCurrent(nullptr);
  return status;
}
