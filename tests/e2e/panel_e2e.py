#!/usr/bin/env python3
"""End-to-end test of the panel: the real orq-editor in an X window under Xvfb, the device
simulator orq-devsim on a private JACK server, clicks made with xdotool at the layout's
positions. Every click must reach the simulator as exactly the expected message, and a
screenshot of the window afterwards must show the new state.

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh tests/e2e/panel_e2e.py ORQ_EDITOR ORQ_DEVSIM [OUT_DIR]
It starts and stops everything else it uses (Xvfb on a free display, the simulator, the
editor) and cleans up on failure too. The screenshot is left in OUT_DIR (default: a
temporary folder, removed on success).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import dialogs

SCREEN_W, SCREEN_H = 1280, 1024

# Panel positions at the start size 1024 x 740 (logical units = pixels at 96 dpi).
CHANNEL_SWITCH = (397, 61)
BOOST_SWITCH = (527, 61)
PRESENCE_CH1 = (29, 90)
PROGRAM_UP = (730, 20)
PROGRAM_DOWN = (543, 20)
STORE = (200, 20)

# Colours of the model-1 look (0xRRGGBB).
SILVER = 0xC8C5C3
TRACK_OFF = 0x303032
LABEL = 0xBEBEBE
COLUMN = 0x141416


class Failure(Exception):
    pass


def wait_until(what, predicate, timeout, check=None, step=0.05):
    """The first true value of predicate() within `timeout` s, polled every `step` s; check(),
    when given, runs between polls (to fail early, say when a process has ended)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        if check:
            check()
        time.sleep(step)
    raise Failure("timed out waiting for " + what)


class Session:
    """The processes of one run; stop() ends every one of them that is still running."""

    def __init__(self, work):
        self.work = work
        self.procs = []
        self.display = None
        self.env = dict(os.environ)
        self.env["ORQ_MIDI_API"] = "jack"
        self.env["NO_AT_BRIDGE"] = "1"  # no accessibility bus under Xvfb
        self.env["GDK_BACKEND"] = "x11"
        self.env["GSETTINGS_BACKEND"] = "memory"  # no settings daemon; keep the user's settings out

    def start(self, name, args, **kwargs):
        out = open(os.path.join(self.work, name + ".out"), "wb")
        proc = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=self.env, **kwargs)
        out.close()
        self.procs.append((name, proc))
        return proc

    def start_xvfb(self):
        self.display = dialogs.start_xvfb(
            lambda args, fds: self.start("xvfb", args, pass_fds=fds), SCREEN_W, SCREEN_H)
        if not self.display:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = self.display

    def report_failure(self, label, names, tail):
        """After a failed run: the end of each of the named output files, and where they are."""
        for name in names:
            path = os.path.join(self.work, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    print("---- %s\n%s" % (name, f.read()[-tail:]), file=sys.stderr)
        print("%s: files kept in %s" % (label, self.work), file=sys.stderr)

    def output(self, name):
        """What the process started as `name` has written so far (stdout and stderr)."""
        with open(os.path.join(self.work, name + ".out"), errors="replace") as f:
            return f.read()

    def check_running(self):
        for name, proc in self.procs:
            if proc.poll() is not None:
                raise Failure("%s ended early with status %s" % (name, proc.returncode))

    def stop(self):
        for _, proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
        for _, proc in reversed(self.procs):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def run(self, args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=20)


def received(log_path):
    """The messages the simulator received, as (name, hex bytes), in order."""
    out = []
    if not os.path.exists(log_path):
        return out
    with open(log_path) as f:
        for line in f:
            parts = line.split(None, 3)
            if len(parts) == 4 and parts[1] == "<-":
                out.append((parts[2], parts[3].strip()))
    return out


def find_window(session):
    def search():
        r = session.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarvik Editor$"])
        ids = r.stdout.split()
        return ids[0] if ids else None
    window = wait_until("the editor window", search, 20)
    geometry = session.run(["xdotool", "getwindowgeometry", "--shell", window]).stdout
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    return window, int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def click(session, window, point):
    session.run(["xdotool", "mousemove", "--window", window, str(point[0]), str(point[1])])
    time.sleep(0.1)
    session.run(["xdotool", "click", "1"])


def screenshot(session, path):
    r = session.run(["import", "-window", "root", path])
    if r.returncode != 0:
        raise Failure("screenshot failed: " + r.stderr)
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         timeout=20).stdout
    if len(raw) != SCREEN_W * SCREEN_H * 3:
        raise Failure("screenshot has %d bytes" % len(raw))
    return raw


def pixel(raw, x, y):
    i = (y * SCREEN_W + x) * 3
    return raw[i] << 16 | raw[i + 1] << 8 | raw[i + 2]


def near(a, b, tolerance=3):
    return all(abs(((a >> s) & 0xFF) - ((b >> s) & 0xFF)) <= tolerance for s in (0, 8, 16))


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    editor, devsim = sys.argv[1], sys.argv[2]
    out_dir = sys.argv[3] if len(sys.argv) > 3 else None
    if "JACK_DEFAULT_SERVER" not in os.environ:
        print("panel_e2e: run me under scripts/with-jack.sh", file=sys.stderr)
        return 2
    for tool in ("Xvfb", "xdotool", "import", "convert"):
        if shutil.which(tool) is None:
            print("panel_e2e: %s not found" % tool, file=sys.stderr)
            return 2

    work = tempfile.mkdtemp(prefix="orq-e2e-")
    log = os.path.join(work, "devsim.log")
    session = Session(work)
    ok = False
    try:
        session.start_xvfb()
        session.start("devsim", [devsim, "--model", "1", "--log", log])
        session.start("editor", [editor])

        # The connect sequence: IDENTIFY, READ_SETTINGS of program 0, the six slot names.
        wait_until("the connect sequence",
                   lambda: sum(1 for n, _ in received(log) if n == "READ_SLOT_NAME") >= 6, 30)
        window, wx, wy, ww, wh = find_window(session)
        if (ww, wh) != (1024, 740):
            raise Failure("window is %dx%d, not 1024x740" % (ww, wh))
        time.sleep(0.5)  # the worker marks the link idle right after the last slot name
        session.check_running()

        # Each click, and the one message the simulator must receive for it. Program 0 of the
        # simulator: MIDI channel 1, IR select 0 / 1, presence, deep, lowpass 2 / 2.
        steps = [
            ("CHANNEL", CHANNEL_SWITCH,
             ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 00 00 01 00 22 22 22 00 00 f7")),
            ("BOOST (channel 2)", BOOST_SWITCH,
             ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 01 00 01 00 22 22 22 00 00 f7")),
            ("PRESENCE of channel 1", PRESENCE_CH1,
             ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 01 00 01 00 23 22 22 00 00 f7")),
            # Program 1 was never read: the editor asks for it instead of sending.
            ("program up", PROGRAM_UP, ("READ_SETTINGS", "f0 00 02 01 f7")),
            ("program down", PROGRAM_DOWN,
             ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 01 00 01 00 23 22 22 00 00 f7")),
            ("STORE", STORE, ("STORE", "f0 00 0a f7")),
        ]
        for name, point, expected in steps:
            before = len(received(log))
            click(session, window, point)
            got = wait_until("the message of " + name,
                             lambda: received(log)[before:before + 1], 10)
            if got[0] != expected:
                raise Failure("%s: simulator received %s %s, expected %s %s"
                              % (name, got[0][0], got[0][1], expected[0], expected[1]))
            time.sleep(0.3)  # let the worker finish (a read, the store's 500 ms display)
            extra = received(log)[before + 1:]
            if extra:
                raise Failure("%s: unexpected further messages %s" % (name, extra))
            print("ok %-22s %s %s" % (name, expected[0], expected[1]))
        time.sleep(0.8)  # STORE shows "STORING..." for 500 ms, then the panel is idle again
        session.check_running()

        shot = os.path.join(out_dir or work, "e2e_panel.png")
        raw = screenshot(session, shot)

        def at(x, y):
            return pixel(raw, wx + x, wy + y)

        checks = [
            ("CHANNEL switch on", at(382, 61), SILVER),
            ("BOOST switch on", at(512, 61), SILVER),
            ("LOOP BYPASS off", at(670, 61), TRACK_OFF),
            ("PRESENCE 1 track, channel 1 inactive", at(12, 90), TRACK_OFF),
            ("PRESENCE 1 knob at position 3", at(41, 90), LABEL),
            ("channel 1 lamp dark", at(236, 58), COLUMN),
            ("channel 2 lamp lit", at(236, 371), LABEL),
            ("connection box", at(263, 20), LABEL),
        ]
        bad = ["%s: %06x, expected %06x" % (n, got, want)
               for n, got, want in checks if not near(got, want)]
        # The picture's LEDs (a lit LED has a strongly coloured ring around a pale centre):
        # channel 2 lit in blue with its boost in red; channel 1's two LEDs dark.
        def strongest(cx, cy, hue):
            return max(hue(at(cx + dx, cy + dy)) for dx in range(-5, 6) for dy in range(-5, 6))
        blueness = lambda c: (c & 0xFF) - ((c >> 16) & 0xFF)
        redness = lambda c: ((c >> 16) & 0xFF) - (c & 0xFF)
        leds = [("channel 2 LED", strongest(450, 346, blueness), True),
                ("channel 2 boost LED", strongest(823, 346, redness), True),
                ("channel 1 LED", strongest(450, 221, blueness), False),
                ("channel 1 boost LED", strongest(823, 221, redness), False)]
        for name, strength, lit in leds:
            if (strength > 120) != lit:
                bad.append("%s %s (colour strength %d)" % (name, "dark" if lit else "lit",
                                                           strength))
        if bad:
            raise Failure("screenshot " + shot + ":\n  " + "\n  ".join(bad))
        print("ok screenshot %s" % shot)
        ok = True
    except Failure as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report_failure("panel_e2e",
                                   ("devsim.log", "editor.out", "devsim.out", "xvfb.out"), 4000)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
