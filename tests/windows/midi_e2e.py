#!/usr/bin/env python3
"""The Windows editor's MIDI under Wine, end to end: orq-editor.exe through WinMM, the tests'
driver (wineorqbridge.drv) and orq-midi-bridge to orq-devsim on a private JACK server. The
simulator must receive the connect sequence exactly, and a click on the CHANNEL switch must
put exactly the expected WRITE_SETTINGS on the wire. Prints the connect time and the idle CPU
of the connected editor.

The device's port names are 40 characters long, so the editor finds and opens them by the
31-character names WinMM gives (as Windows cuts a USB device's name).

What Wine cannot show that Windows would: its winmm asks the driver for the number of ports
once, when it loads the driver, so a device plugged in after the editor started, or one that
goes away, does not change midiInGetNumDevs; here the device is on the JACK server before the
editor starts, and unplugging is left to a run on Windows. Nor does Wine's midiInClose keep
the handle when the driver refuses to close (buffers still queued), as Windows does.

The connect sequence runs at the pace of the JACK server: each request and its reply cross it
twice, one cycle (5.3 ms) each.

With --run, the same set-up runs another Windows program instead (the driver's own test), which
must end with status 0.

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --editor EDITOR.exe WM_CLOSE
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --run PROGRAM.exe
PREFIX is a Wine prefix of this test's own (made on first use): its registry selects the
driver, and its Wine server is stopped at the end. Everything else it starts (Xvfb when there
is no DISPLAY, the simulator, the bridge, the program) is stopped at the end, on failure too.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import dialogs  # noqa: E402

DEVICE_NAME = "Tarvik ORQ KTB Guitar Preamp USB"  # ports "... MIDI In", "... MIDI Out"
CHANNEL_SWITCH = (397, 61)  # from the top left corner, as on Linux

# What the editor sends on connecting, and for the click (program 0 of the simulator, model 1:
# MIDI channel 1, IR select 0 / 1, presence, deep, lowpass 2 / 2; the click sets CHANNEL).
CONNECT = ([("IDENTIFY", "f0 00 0b f7"), ("READ_SETTINGS", "f0 00 02 00 f7")] +
           [("READ_SLOT_NAME", "f0 00 04 %02x f7" % slot) for slot in range(6)])
CHANNEL_WRITE = ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 00 00 01 00 22 22 22 00 00 f7")

CPU_SECONDS = 10


class Failure(Exception):
    pass


def wait_until(what, predicate, timeout, check=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        if check:
            check()
        time.sleep(0.02)
    raise Failure("timed out waiting for " + what)


def log_lines(path, direction):
    """The simulator's log: (seconds, name, hex bytes) of each message in one direction."""
    out = []
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split(None, 3)
                if len(parts) == 4 and parts[1] == direction:
                    out.append((float(parts[0]), parts[2], parts[3].strip()))
    return out


def received(path):
    return [(name, data) for _, name, data in log_lines(path, "<-")]


class Session:
    def __init__(self, work, prefix):
        self.work = work
        self.prefix = prefix
        self.procs = []
        self.env = dict(os.environ)
        self.env.pop("ORQ_MIDI_API", None)  # the editor's RtMidi has only WinMM
        self.env["ORQ_WINEPREFIX"] = prefix
        self.env["WINEPREFIX"] = prefix
        self.wine_started = False

    def start(self, name, args, env=None, **kwargs):
        out = open(os.path.join(self.work, name + ".out"), "wb")
        proc = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=env or self.env, **kwargs)
        out.close()
        self.procs.append((name, proc))
        return proc

    def run(self, args, timeout=120):
        return subprocess.run(args, env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def check_running(self):
        for name, proc in self.procs:
            if name != "xvfb" and proc.poll() is not None:
                raise Failure("%s ended early with status %s" % (name, proc.returncode))

    def stop(self):
        # The editor first (it is a client of the bridge), Xvfb last.
        for _, proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if self.wine_started:
            # Wine's own processes of this prefix (wineserver, services, explorer).
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)

    def report(self, names):
        for name in names:
            path = os.path.join(self.work, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    text = "".join(l for l in f if not l.startswith("ALSA lib"))
                print("---- %s\n%s" % (name, text[-3000:]), file=sys.stderr)
        print("midi_e2e: files kept in %s" % self.work, file=sys.stderr)


def setup_prefix(session, wine_run, driver):
    """Selects the driver in the prefix's registry (making the prefix on first use) and puts
    the driver in its system32."""
    session.wine_started = True
    r = session.run([wine_run, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Audio",
                     "/d", "orqbridge", "/f"], timeout=300)
    if r.returncode != 0:
        raise Failure("could not select the driver in %s: %s" % (session.prefix, r.stderr))
    system32 = os.path.join(session.prefix, "drive_c", "windows", "system32")
    shutil.copyfile(driver, os.path.join(system32, "wineorqbridge.drv"))


def wine_pid(prefix, names):
    """The Linux process of our prefix named one of `names` (Wine names a program's process
    after it)."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as f:
                if f.read().strip() not in names:
                    continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                if ("WINEPREFIX=" + prefix).encode() in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            continue
    return None


def thread_ticks(pid):
    """{thread id: (name, user + system clock ticks)} of a process."""
    out = {}
    task = "/proc/%d/task" % pid
    for tid in os.listdir(task):
        try:
            with open("%s/%s/stat" % (task, tid)) as f:
                stat = f.read()
            with open("%s/%s/comm" % (task, tid)) as f:
                name = f.read().strip()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        out[int(tid)] = (name, int(fields[11]) + int(fields[12]))
    return out


def idle_cpu(pids, seconds):
    """Share of one core each process used over `seconds`, and the busiest threads of the
    first."""
    hz = os.sysconf("SC_CLK_TCK")
    before = [thread_ticks(pid) for pid in pids]
    start = time.monotonic()
    time.sleep(seconds)
    after = [thread_ticks(pid) for pid in pids]
    elapsed = time.monotonic() - start
    share = lambda ticks: 100.0 * ticks / hz / elapsed
    used = [[(ticks - b.get(tid, (name, 0))[1], tid) for tid, (name, ticks) in a.items()]
            for a, b in zip(after, before)]
    busiest = sorted(used[0], reverse=True)[:3]
    return ([share(sum(t for t, _ in u)) for u in used],
            [(tid, share(t)) for t, tid in busiest if t > 0])


def find_window(session):
    def search():
        r = session.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarvik Editor$"], 20)
        ids = r.stdout.split()
        return ids[0] if ids else None
    window = wait_until("the editor window", search, 30, session.check_running)
    geometry = session.run(["xdotool", "getwindowgeometry", "--shell", window], 20).stdout
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    return window, int(values["WIDTH"]), int(values["HEIGHT"])


def run_program(session, wine_run, program):
    r = session.run([wine_run, program], timeout=120)
    print(r.stdout, end="")
    if r.returncode != 0:
        raise Failure("%s ended with status %d:\n%s" % (program, r.returncode, r.stderr))


def run_editor(session, wine_run, editor, wm_close, log):
    started = time.monotonic()
    session.start("editor", [wine_run, editor])
    wait_until("the connect sequence",
               lambda: sum(1 for n, _ in received(log) if n == "READ_SLOT_NAME") >= 6, 60,
               session.check_running)
    connected = time.monotonic()
    time.sleep(0.5)  # the worker marks the link idle right after the last slot name
    got = received(log)
    if got != CONNECT:
        raise Failure("connect sequence: simulator received\n  %s\nexpected\n  %s" % (
            "\n  ".join("%s %s" % m for m in got), "\n  ".join("%s %s" % m for m in CONNECT)))
    # The sequence itself, on the simulator's clock: IDENTIFY in to the last slot name out.
    first_in = log_lines(log, "<-")[0][0]
    last_out = [t for t, name, _ in log_lines(log, "->") if name == "SLOT_NAME"][-1]
    print("ok connect sequence (%d messages, exact bytes)" % len(got))
    print("connect time: %.0f ms from the editor's start to the six slot names read "
          "(Wine's start-up included); the sequence itself %.0f ms" %
          ((connected - started) * 1000, (last_out - first_in) * 1000))

    window, width, height = find_window(session)
    print("window client area %dx%d" % (width, height))

    pid = wine_pid(session.prefix, ("orq-editor.exe",))
    server = wine_pid(session.prefix, ("wineserver", "wineserver64"))
    if pid is None or server is None:
        raise Failure("no orq-editor.exe or wineserver process of prefix %s" % session.prefix)
    (total, server_total), busiest = idle_cpu([pid, server], CPU_SECONDS)
    print("idle CPU of the connected orq-editor.exe over %d s: %.1f %% of a core "
          "(and its wineserver %.1f %%)" % (CPU_SECONDS, total, server_total))
    for tid, share in busiest:
        print("  thread %d%s: %.1f %%" % (tid, " (the main thread)" if tid == pid else "",
                                         share))
    session.check_running()

    before = len(received(log))
    session.run(["xdotool", "mousemove", "--window", window, str(CHANNEL_SWITCH[0]),
                 str(CHANNEL_SWITCH[1])], 20)
    time.sleep(0.1)
    session.run(["xdotool", "click", "1"], 20)
    got = wait_until("the message of the click", lambda: received(log)[before:before + 1], 10,
                     session.check_running)[0]
    if got != CHANNEL_WRITE:
        raise Failure("CHANNEL: simulator received %s %s, expected %s %s" % (got + CHANNEL_WRITE))
    time.sleep(0.5)
    extra = received(log)[before + 1:]
    if extra:
        raise Failure("CHANNEL: unexpected further messages %s" % extra)
    print("ok CHANNEL click: %s %s" % CHANNEL_WRITE)

    r = session.run([wm_close, "Tarvik Editor"], 20)
    if r.returncode != 0:
        raise Failure("could not send the close request")
    editor_proc = [p for n, p in session.procs if n == "editor"][0]
    try:
        status = editor_proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        raise Failure("the editor still runs 5 s after the close request")
    if status != 0:
        raise Failure("the editor ended with status %d" % status)


def main():
    # A timeout's SIGTERM still runs the clean-up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    args = sys.argv[1:]
    if len(args) < 7 or (args[5], len(args)) not in (("--editor", 8), ("--run", 7)):
        print(__doc__, file=sys.stderr)
        return 2
    wine_run, driver, devsim, bridge, prefix = args[:5]
    prefix = os.path.abspath(prefix)
    program = args[6]
    wm_close = args[7] if args[5] == "--editor" else None
    if "JACK_DEFAULT_SERVER" not in os.environ:
        print("midi_e2e: run me under scripts/with-jack.sh", file=sys.stderr)
        return 2
    for tool in ("Xvfb", "xdotool", "wineserver"):
        if shutil.which(tool) is None:
            print("midi_e2e: %s not found" % tool, file=sys.stderr)
            return 2

    work = tempfile.mkdtemp(prefix="orq-wine-midi-")
    log = os.path.join(work, "devsim.log")
    port_file = os.path.join(work, "bridge.port")
    session = Session(work, prefix)
    ok = False
    try:
        if not session.env.get("DISPLAY"):
            display = dialogs.start_xvfb(
                lambda args, fds: session.start("xvfb", args, pass_fds=fds), 1280, 1024)
            if not display:
                raise Failure("Xvfb did not start")
            session.env["DISPLAY"] = display
        setup_prefix(session, wine_run, driver)

        session.start("devsim", [devsim, "--model", "1", "--name", DEVICE_NAME, "--log", log],
                      env=dict(session.env, ORQ_MIDI_API="jack"))
        session.start("bridge", [bridge, port_file])
        port = wait_until("the bridge", lambda: os.path.exists(port_file) and
                          open(port_file).read().strip(), 10, session.check_running)
        session.env["ORQ_MIDI_BRIDGE_PORT"] = port

        if wm_close is None:
            run_program(session, wine_run, program)
        else:
            run_editor(session, wine_run, program, wm_close, log)
        ok = True
    except Failure as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report(("devsim.log", "editor.out", "bridge.out", "devsim.out"))
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
