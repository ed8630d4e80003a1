#!/usr/bin/env python3
"""Idle CPU and connect time of the connected editor, Linux and Windows (under Wine) in one
run, against the same simulated device: each editor is started, connected (the connect
sequence on the simulator's log), left alone for SETTLE seconds, measured over SECONDS from
/proc (the editor's process, per thread, and for Wine its wineserver), and closed. A measurement, not a test:
it prints figures and fails only when something does not start or connect.

Usage (under the Windows build's MIDI set-up, see tests/windows/midi_e2e.py):
    scripts/with-jack.sh bench/app/wine_idle_bench.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX \
        EDITOR.exe WM_CLOSE LINUX_EDITOR [SECONDS]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "windows"))
import midi_e2e as e2e  # noqa: E402
from midi_e2e import received  # noqa: E402

# s between the connect and the measurement: the first paints and Wine's start-up settle (a
# second was not enough on a loaded machine: its figure then ranged over three times its own).
SETTLE = 3


def measure(session, name, pids, seconds):
    (total, *others), busiest = e2e.idle_cpu(pids, seconds)
    print("%s: idle CPU %.2f %% of a core over %d s%s" % (
        name, total, seconds, "".join(" (wineserver %.2f %%)" % o for o in others)))
    for tid, share in busiest:
        print("  thread %d%s: %.2f %%" % (tid, " (main)" if tid == pids[0] else "", share))


def connect(session, log, since, started):
    e2e.wait_until("the connect sequence", lambda: len(received(log)) >= since + 8, 60,
                   session.check_running)
    took = time.monotonic() - started
    times = [t for t, _, _ in e2e.log_lines(log, "<-")][since:since + 8]
    return took, times[-1] - times[0]


def main():
    args = sys.argv[1:]
    if len(args) not in (8, 9) or "JACK_DEFAULT_SERVER" not in os.environ:
        print(__doc__, file=sys.stderr)
        return 2
    wine_run, driver, devsim, bridge, prefix, exe, wm_close, linux_editor = args[:8]
    seconds = int(args[8]) if len(args) == 9 else 20
    work = tempfile.mkdtemp(prefix="orq-idle-bench-")
    session = e2e.Session(work, os.path.abspath(prefix))
    log = os.path.join(work, "devsim.log")
    try:
        display = e2e.dialogs.start_xvfb(
            lambda a, fds: session.start("xvfb", a, pass_fds=fds), 1280, 1024)
        session.env["DISPLAY"] = display
        e2e.setup_prefix(session, wine_run, driver)
        jack = dict(session.env, ORQ_MIDI_API="jack")
        session.start("devsim", [devsim, "--model", "1", "--name", e2e.DEVICE_NAME, "--log", log],
                      env=jack)
        time.sleep(0.5)

        started = time.monotonic()
        linux = session.start("linux-editor", [linux_editor], env=jack)
        took, sequence = connect(session, log, 0, started)
        print("Linux editor: connected %.0f ms after its start, the sequence itself %.0f ms" %
              (took * 1000, sequence * 1000))
        time.sleep(SETTLE)
        measure(session, "Linux editor", [linux.pid], seconds)
        session.run([wm_close, "Tarvik Editor"], 20)
        linux.wait(timeout=10)
        session.end(linux)

        port_file = os.path.join(work, "bridge.port")
        session.start("bridge", [bridge, port_file])
        port = e2e.wait_until("the bridge", lambda: os.path.exists(port_file) and
                              open(port_file).read().strip(), 10, session.check_running)
        session.env["ORQ_MIDI_BRIDGE_PORT"] = port
        since = len(received(log))
        editor = e2e.Editor(session, wine_run, exe, wm_close, log)
        took, sequence = connect(session, log, since, editor.started)
        print("Windows editor under Wine: connected %.0f ms after its start (Wine's start-up "
              "included), the sequence itself %.0f ms" % (took * 1000, sequence * 1000))
        time.sleep(SETTLE)
        pids = [e2e.wine_pid(session.prefix, ("orq-editor.exe",)),
                e2e.wine_pid(session.prefix, ("wineserver", "wineserver64"))]
        measure(session, "Windows editor under Wine", pids, seconds)
        editor.close()
    except (e2e.Failure, e2e.dialogs.DialogError) as e:
        print("FAIL: %s" % e, file=sys.stderr)
        return 1
    finally:
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
