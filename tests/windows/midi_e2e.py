#!/usr/bin/env python3
"""The Windows editor's MIDI under Wine, end to end: orq-editor.exe through WinMM, the tests'
driver (wineorqbridge.drv) and orq-midi-bridge to orq-devsim on a private JACK server, clicked
with xdotool at the Linux tests' positions (the window's client area is the panel's size),
the simulator's log checked message by message. One editor run: the connect sequence (exact
bytes; connect time and idle CPU printed), a CHANNEL click and STORE (exact bytes), its undo
and redo by Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z and the right button's menu (exact bytes), a factory
IR from slot 1's browser (65 chunks and the commit into slot 0), a WAV file through the shell's
open dialog (the image rebuilt from its chunks equal to what the Linux build's orqctl makes of
the same file), EXTRACT ALL through the folder dialog (18 files, one equal to its upload,
nothing sent), a device that stops answering (ERROR: RESET; once it answers, one RESET and a
full read) and an unplug and replug (read afresh). Then a firmware update from a loopback
HTTP server (URL monikers): one editor closed during the transfer (it ends at once, nothing
committed), another that sends the whole image (rebuilt from its 512 chunks equal to the
served one), then RESET and a full read.

What Wine cannot show that Windows would: its winmm asks the driver for the number of ports
once, when it loads the driver, so a device plugged in after the editor started, or one that
goes away, does not change midiInGetNumDevs; here the device is on the JACK server before the
editor starts, and an unplug shows only as the port's caps failing (see panel_cases). Nor does
Wine's midiInClose keep the handle when the driver refuses to close (buffers still queued), as
Windows does.

The connect sequence runs at the pace of the JACK server: each request and its reply cross it
twice, one cycle (5.3 ms) each.

With --drop, one editor run takes files dropped on it instead (XDND_DRAG, the Linux tests' drag
source, and POST_DROP.exe; see drop_case). With --librarian, one editor run saves and opens
program files, backs up and restores (librarian_case), and another is given a backup to restore
(given_backup_case).

With --run, the same set-up, with a second device of the same name, runs another Windows program
instead (the driver's own test), which must end with status 0. With --orqctl, orqctl.exe's jobs through the same port (orqctl_cases).

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --editor EDITOR.exe WM_CLOSE ORQCTL
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --drop EDITOR.exe WM_CLOSE ORQCTL XDND_DRAG POST_DROP
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --librarian EDITOR.exe WM_CLOSE
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --run PROGRAM.exe
    scripts/with-jack.sh midi_e2e.py WINE_RUN DRIVER.drv DEVSIM BRIDGE PREFIX --orqctl ORQCTL.exe ORQCTL
ORQCTL is the Linux build's orqctl. PREFIX is a Wine prefix of this test's own (made on first use): its registry selects the
driver, and its Wine server is stopped at the end. Everything else it starts (Xvfb when there
is no DISPLAY, the simulator, the bridge, the program) is stopped at the end, on failure too.
"""

import functools
import http.server
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import dialogs  # noqa: E402
import drop_e2e  # noqa: E402
import ir_e2e  # noqa: E402
import librarian_e2e  # noqa: E402
import panel_e2e  # noqa: E402
from panel_e2e import Failure, received  # noqa: E402

DEVICE_NAME = "Tarvik ORQ KTB Guitar Preamp USB"  # ports "... MIDI In", "... MIDI Out"
PANEL_SIZE = (1024, 740)  # the client area the Linux tests' positions are for
CHANNEL_SWITCH = (397, 61)  # from the top left corner, as on Linux
STORE = (200, 20)
# The shell's dialogs as Wine titles them.
WIN_OPEN_TITLE = "Open"
WIN_SAVE_TITLES = ("Save As", "Save as", "Save")
WIN_FOLDER_TITLES = ("Select Folder", "Open", "Browse for Folder")
FIRMWARE_SIZE = 131072
# The settings of the program file that Open program and the .syx type open (of program 77), as
# the Linux window test has it.
PROGRAM_BLOCK = "01 01 01 00 02 00 01 13 31 12 03 01"

# What the editor sends on connecting, and for the click (program 0 of the simulator, model 1:
# MIDI channel 1, IR select 0 / 1, presence, deep, lowpass 2 / 2; the click sets CHANNEL).
CONNECT = ([("IDENTIFY", "f0 00 0b f7"), ("READ_SETTINGS", "f0 00 02 00 f7")] +
           [("READ_SLOT_NAME", "f0 00 04 %02x f7" % slot) for slot in range(6)])
CHANNEL_WRITE = ("WRITE_SETTINGS", "f0 00 01 00 01 00 01 00 00 00 01 00 22 22 22 00 00 f7")

CPU_SECONDS = 10
# s from the close request to the process's end, during a transfer too: it ends in 0.2-0.5 s on a
# quiet machine, while the rest of the transfer it was closed in would take 5 s more.
CLOSE_BUDGET = 3.0


wait_until = functools.partial(panel_e2e.wait_until, step=0.02)  # connect times to 20 ms


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
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        proc = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT,
                                env=env or self.env, **kwargs)
        out.close()
        self.procs.append((name, proc))
        return proc

    @staticmethod
    def _stop_one(proc):
        if proc.poll() is None:
            proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    def end(self, proc):
        """Stops one process of the session (or takes note that it ended) and forgets it."""
        self._stop_one(proc)
        self.procs = [(n, p) for n, p in self.procs if p is not proc]

    def run(self, args, timeout=120):
        return subprocess.run(args, env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def output(self, name):
        """What the process started as `name` has written so far (stdout and stderr)."""
        with open(os.path.join(self.work, name + ".out"), errors="replace") as f:
            return f.read()

    def check_running(self):
        for name, proc in self.procs:
            if name != "xvfb" and proc.poll() is not None:
                raise Failure("%s ended early with status %s" % (name, proc.returncode))

    def stop(self):
        # The editor first (it is a client of the bridge), Xvfb last.
        for _, proc in reversed(self.procs):
            self._stop_one(proc)
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


class Editor:
    """One run of orq-editor.exe: started, connected (the connect sequence checked), its client
    area the panel's start size (so that the Linux tests' click positions hold), closed."""

    def __init__(self, session, wine_run, exe, wm_close, log, name="editor", env=None, args=()):
        self.session, self.wm_close, self.log = session, wm_close, log
        self.started = time.monotonic()
        self.proc = session.start(name, [wine_run, exe] + list(args), env=env)
        self.window = None

    def connect(self, expected=None):
        expected = expected or CONNECT
        wait_until("the connect sequence", lambda: len(received(self.log)) >= len(expected),
                   60, self.session.check_running)
        connected = time.monotonic()
        time.sleep(0.5)  # the worker marks the link idle right after the last slot name
        expect(self.log, 0, expected, "connect sequence")
        self.window, width, height = find_window(self.session)
        if (width, height) != PANEL_SIZE:
            raise Failure("window client area %dx%d, not %dx%d" % ((width, height) + PANEL_SIZE))
        return connected - self.started

    def click(self, point):
        self.session.run(["xdotool", "mousemove", "--window", self.window, str(point[0]),
                          str(point[1])], 20)
        time.sleep(0.1)
        self.session.run(["xdotool", "click", "1"], 20)

    def key(self, keys):
        self.session.run(["xdotool", "windowfocus", "--sync", self.window], 20)
        self.session.run(["xdotool", "key", "--clearmodifiers", keys], 20)

    def menu(self, downs):
        """Opens the panel's menu over the picture and chooses with Down `downs` times and
        Return."""
        self.session.run(["xdotool", "mousemove", "--window", self.window, "600", "450"], 20)
        time.sleep(0.1)
        self.session.run(["xdotool", "click", "3"], 20)
        time.sleep(0.8)
        self.session.run(["xdotool", "key", "--delay", "80"] + ["Down"] * downs + ["Return"], 20)

    def close(self, budget=5):
        """Sends the close request; the editor must end within `budget` s with status 0.
        Returns how long it took."""
        asked = time.monotonic()
        if self.session.run([self.wm_close, "Tarvik Editor"], 20).returncode != 0:
            raise Failure("could not send the close request")
        try:
            status = self.proc.wait(timeout=budget)
        except subprocess.TimeoutExpired:
            raise Failure("the editor still runs %g s after the close request" % budget)
        if status != 0:
            raise Failure("the editor ended with status %d" % status)
        self.session.end(self.proc)
        return time.monotonic() - asked


def expect(log, since, want, what, settle=0.0):
    """The simulator received exactly `want` from `since` on (each a name, or (name, hex)), and
    nothing more within `settle` seconds. Returns where the log goes on."""
    wait_until(what, lambda: len(received(log)) >= since + len(want), 30)
    time.sleep(settle)
    got = received(log)[since:]
    shaped = [m if isinstance(w, tuple) else m[0] for m, w in zip(got, want)] + got[len(want):]
    if shaped != want:
        raise Failure("%s: simulator received\n  %s\nexpected\n  %s" % (
            what, "\n  ".join(map(str, got)), "\n  ".join(map(str, want))))
    return since + len(want)


def wine_path(path):
    """The Linux path as the editor under Wine names it (drive Z: is /)."""
    return "Z:" + path.replace("/", "\\")


def reference_import(session, devsim, orqctl, wav):
    """The image the Linux build's import makes of `wav`, and what its orqctl info shows of a
    fresh device: orqctl against a simulator of its own, before the bridge and the editor start
    (they would see its ports too; and the JACK dummy server here stalls for seconds when a
    client opens while the bridge closes one)."""
    log = os.path.join(session.work, "reference.log")
    env = dict(session.env, ORQ_MIDI_API="jack")
    sim = session.start("reference-devsim", [devsim, "--name", "ORQ KTB reference",
                                             "--log", log], env=env)
    try:
        time.sleep(0.5)
        outputs = []
        for args in (["info"], ["ir", "load", "5", wav]):
            r = subprocess.run([orqctl] + args + ["--port", "ORQ KTB reference"], env=env,
                               capture_output=True, text=True, timeout=60)
            if r.returncode != 0:
                raise Failure("orqctl %s (Linux): status %d: %s" %
                              (args[0], r.returncode, r.stderr))
            outputs.append(r.stdout)
    finally:
        session.end(sim)
    chunks = [n for n, _ in received(log)].count("IR_CHUNK")
    first = [n for n, _ in received(log)].index("IR_CHUNK")
    return ir_e2e.uploaded_image(log, first, chunks), outputs[0]


def connect_report(log, took):
    first_in = log_lines(log, "<-")[0][0]
    last_out = [t for t, name, _ in log_lines(log, "->") if name == "SLOT_NAME"][-1]
    print("ok connect sequence (%d messages, exact bytes)" % len(CONNECT))
    print("connect time: %.0f ms from the editor's start to the six slot names read "
          "(Wine's start-up included); the sequence itself %.0f ms" %
          (took * 1000, (last_out - first_in) * 1000))


def round_trips(log, reply, request):
    """At the device: seconds from each `reply` it sent to the `request` it received next."""
    events = []
    with open(log) as f:  # in the order the device logged them (its clock has 1 ms steps)
        for line in f:
            parts = line.split(None, 3)
            if len(parts) == 4:
                events.append((float(parts[0]), parts[1], parts[2]))
    return [b[0] - a[0] for a, b in zip(events, events[1:])
            if a[1:] == ("->", reply) and b[1:] == ("<-", request)]


def upload_report(log, since, chunks):
    """The upload's time at the device beside the bare round trips of the same run (the connect
    read's slot names: a reply, then the next request)."""
    got = log_lines(log, "<-")[since:]
    start = got[0][0]
    commit_ack = [t for t, n, _ in log_lines(log, "->") if t >= start and n == "ACK"][chunks]
    chunk_trips = sorted(round_trips(log, "ACK", "IR_CHUNK"))
    bare = sorted(round_trips(log, "SLOT_NAME", "READ_SLOT_NAME"))
    print("IR upload of %d chunks: %.0f ms (%.2f ms a chunk, ACK to next chunk median %.2f ms); "
          "bare round trips in this run (slot names) median %.2f ms" %
          (chunks, (commit_ack - start) * 1000, (commit_ack - start) * 1000 / (chunks + 1),
           chunk_trips[len(chunk_trips) // 2] * 1000, bare[len(bare) // 2] * 1000))


def idle_report(session):
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


def panel_cases(session, editor, log, devsim_stdin, work, reference):
    """The panel's jobs against one connected editor, each checked on the simulator's log."""
    log_at = len(received(log))
    # A setting, then STORE: the store is the one message it sends.
    for name, point, message in (("CHANNEL click", CHANNEL_SWITCH, CHANNEL_WRITE),
                                 ("STORE", STORE, ("STORE", "f0 00 0a f7"))):
        editor.click(point)
        log_at = expect(log, log_at, [message], name, settle=0.6)
        print("ok %s: %s %s" % ((name,) + message))

    # Undo and redo of that click by key (WM_KEYDOWN) and from the right button's menu
    # (TrackPopupMenu, worked from the keyboard); STORE was no step.
    start_write = ("WRITE_SETTINGS", "f0 00 01 00 01 00 00 00 00 00 01 00 22 22 22 00 00 f7")
    for name, act, message in (("Ctrl+Z", lambda: editor.key("ctrl+z"), start_write),
                               ("Ctrl+Y", lambda: editor.key("ctrl+y"), CHANNEL_WRITE),
                               ("menu Undo CHANNEL", lambda: editor.menu(1), start_write),
                               ("Ctrl+Shift+Z", lambda: editor.key("ctrl+shift+z"),
                                CHANNEL_WRITE)):
        act()
        log_at = expect(log, log_at, [message], name, settle=0.6)
        print("ok %s: %s %s" % ((name,) + message))

    # A factory IR from slot 1's browser.
    editor.click(ir_e2e.PLUS_SLOT_1)
    editor.click(ir_e2e.BROWSER_NEXT)
    editor.click(ir_e2e.SELECT)
    upload_at = log_at
    log_at, factory_image = ir_e2e.transfer(log, log_at, 65, 0, ir_e2e.ENTRY_1)
    upload_report(log, upload_at, 65)
    time.sleep(0.3)

    # A WAV file through the shell's open dialog, into slot 5 (wire slot 4): byte for byte what
    # the Linux build's import makes of the same file.
    editor.click(ir_e2e.FOLDER_SLOT_5)
    dialogs.choose(wine_path(reference[0]), env=session.env, titles=(WIN_OPEN_TITLE,),
                   location_key=None)
    chunks = (len(reference[1]) + 255) // 256
    log_at, image = ir_e2e.transfer(log, log_at, chunks, 4, "MY CAB")
    if image != reference[1]:
        raise Failure("the imported WAV's image differs from the Linux build's import "
                      "(%d and %d bytes)" % (len(image), len(reference[1])))
    print("ok WAV import through the open dialog: %d bytes, as the Linux build's" % len(image))
    time.sleep(0.3)

    # EXTRACT ALL into a folder chosen in the folder dialog: 18 files, nothing sent.
    export = os.path.join(work, "export here")
    os.mkdir(export)
    editor.click(ir_e2e.EXTRACT_ALL)
    dialogs.choose(wine_path(export), env=session.env, titles=WIN_FOLDER_TITLES,
                   location_key=None)
    # Each file is written under a temporary name and renamed once whole.
    files = wait_until("18 exported files", lambda: len(os.listdir(export)) == 18 and all(
        f.endswith(".wav") for f in os.listdir(export)) and os.listdir(export), 15,
        session.check_running)
    sizes = sorted({os.path.getsize(os.path.join(export, f)) for f in files})
    if sizes != [9628, 16428, 39980]:
        raise Failure("exported sizes %s" % sizes)
    with open(os.path.join(export, ir_e2e.ENTRY_1 + ".wav"), "rb") as f:
        if f.read() != factory_image:
            raise Failure("%s.wav is not the image its upload sent" % ir_e2e.ENTRY_1)
    log_at = expect(log, log_at, [], "EXTRACT ALL", settle=0.5)
    print("ok EXTRACT ALL wrote 18 files, sent nothing")

    # A device that stops answering: it announces a program change, the read that follows times
    # out, the worker goes to ERROR and recovers with RESET (the only place it sends one) and a
    # full read, again and again while the device stays silent; once it answers, one RESET and
    # one full read, then quiet.
    def command(line):
        devsim_stdin.write((line + "\n").encode())
        devsim_stdin.flush()
    command("silent on")
    command("raw f0 00 03 00 f7")  # CHANGE_NOTICE
    wait_until("a RESET from the silent device's recovery",
               lambda: "RESET" in [n for n, _ in received(log)[log_at:]], 20, session.check_running)
    command("silent off")
    # Wait for the recovery that comes after: RESET, then the full read and nothing more.
    def recovered():
        names = [n for n, _ in received(log)]
        tail = names[len(names) - 1 - names[::-1].index("RESET"):]
        return tail == ["RESET"] + ir_e2e.FULL_READ
    wait_until("the recovery once the device answers", recovered, 20, session.check_running)
    log_at = expect(log, len(received(log)) - 9, [("RESET", "f0 00 0c f7")] + CONNECT,
                    "recovery", settle=1.5)
    print("ok a silent device ends in ERROR (RESET) and is read again once it answers")

    # Unplug and replug. Wine's winmm keeps the port count it read at start, so the editor
    # cannot see the ports vanish from the count as on Windows; it sees their caps fail while
    # the device is gone. Checked: nothing is sent to the missing device, and once it is back it
    # is read afresh (the full read, no RESET), which the worker does only after NO DEVICE.
    command("unplug")
    time.sleep(1.5)
    command("plug")
    log_at = expect(log, log_at, CONNECT, "replug", settle=1.0)
    print("ok unplugged and plugged again: read afresh, no RESET")


def folder_brightness(session, window, slot):
    """The brightest grey of user slot `slot`'s folder icon in the window now (0x50 idle, 0xBE
    hovered), as drop_e2e reads it on Linux."""
    path = os.path.join(session.work, "window.png")
    if session.run(["import", "-window", window, path], 30).returncode != 0:
        raise Failure("could not take a picture of the window")
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         timeout=30).stdout
    _, y = drop_e2e.row(slot)
    return max(raw[((y + dy) * PANEL_SIZE[0] + x) * 3] for x in range(206, 226)
               for dy in range(-10, 11))


def hover_case(session, editor, xdnd, uri):
    """A file held over the window, as the drop target (IDropTarget) sees it through Wine's XDND
    bridge: over slot 3's row the source is told a drop is taken there and the row's folder icon
    lights, its neighbour's not; the drag leaving takes the light away; over the picture no drop
    is taken."""
    hold = subprocess.Popen([xdnd, editor.window, "100", str(drop_e2e.row(2)[1]), uri, "hover"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                            env=session.env)
    try:
        answer = hold.stdout.readline().split()
        deadline = time.monotonic() + 5
        while True:
            lit, unlit = (folder_brightness(session, editor.window, s) for s in (2, 1))
            if lit >= 0xB0 or time.monotonic() > deadline:
                break
            time.sleep(0.2)
    finally:
        hold.communicate(timeout=30)
    if answer != ["status", "1"] or lit < 0xB0 or unlit > 0x60:
        raise Failure("over slot 3's row: %s, folder icons %02x (slot 3) and %02x (slot 2)" %
                      (answer, lit, unlit))
    wait_until("the hover look gone with the drag",
               lambda: folder_brightness(session, editor.window, 2) <= 0x60, 5)
    r = session.run([xdnd, editor.window, "600", "450", uri], timeout=30)
    if r.stdout.split() != ["status", "0"]:
        raise Failure("over the picture the editor answered %s" % r.stdout.split())
    print("ok a file held over slot 3's row lights its folder icon and leaves it dark again; "
          "over the picture no drop is taken")


def drop_case(session, wine_run, editor, log, reference, xdnd, post_drop):
    """WM_DROPFILES posted by another program (a handle of its own) is ignored: nothing sent,
    the editor runs on. The hover look over a row (hover_case). Then the WAV file dragged from a
    file manager onto slot 3's row (wire slot 2): Wine hands the XDND drop to the drop target
    (IDropTarget::Drop, an HDROP of wide paths), and the image arrives byte for byte as the
    Linux build's import makes it."""
    uri = "file://" + urllib.parse.quote(reference[0]) + "\r\n"
    hover_case(session, editor, xdnd, uri)
    log_at = len(received(log))
    r = session.run([wine_run, post_drop, "Tarvik Editor", "100", "217",
                     wine_path(reference[0])], timeout=60)
    if r.returncode != 0:
        raise Failure("post_drop.exe: status %d: %s" % (r.returncode, r.stderr))
    # An editor that faulted on the handle hangs in Wine's debugger: the drop below finds out.
    log_at = expect(log, log_at, [], "a foreign WM_DROPFILES", settle=1.0)
    print("ok WM_DROPFILES with another program's handle sent nothing")
    r = session.run([xdnd, editor.window, "100", "217", uri], timeout=30)
    if r.returncode != 0 or r.stdout.split() != ["status", "1", "finished", "1"]:
        raise Failure("xdnd_drag: status %d: %s %s" % (r.returncode, r.stdout, r.stderr))
    chunks = (len(reference[1]) + 255) // 256
    _, image = ir_e2e.transfer(log, log_at, chunks, 2, "MY CAB")
    if image != reference[1]:
        raise Failure("the dropped WAV's image differs from the Linux build's import")
    print("ok WAV file dropped on slot 3: %d bytes, as the Linux build's import" % len(image))


def safety_backups(session):
    """The folder of the safety backups in the prefix (%LOCALAPPDATA%\\ORQ Editor\\Backups)."""
    users = os.path.join(session.prefix, "drive_c", "users")
    user = next(u for u in sorted(os.listdir(users)) if u != "Public")
    return os.path.join(users, user, "AppData", "Local", "ORQ Editor", "Backups")


def restore_and_check(session, e, log, data, act, held, kept_before):
    """Restore (Alt+R) of `data` after act() brings the question, on a device that holds `held`:
    first the device's programs into a new safety backup, then the file's 128 programs, then all
    read back; the box that follows names the safety backup, which holds what the device held.
    Returns the safety backups so far."""
    lib = librarian_e2e
    reads = [("READ_SETTINGS", "f0 00 02 %02x f7" % p) for p in range(128)]
    writes = [("WRITE_SETTINGS", lib.hexbytes(data[p * 18:p * 18 + 18])) for p in range(128)]
    dumps_before = len(lib.dumps_sent(log))
    e.expect("Restore, Alt+R", lambda: (act(), e.answer_box("alt+r")), reads + writes + reads,
             settle=1.0, timeout=90)
    lib.check_holds("the programs kept first", log, dumps_before, held, 128)
    lib.check_holds("the restored programs", log, dumps_before + 128, bytes(data))
    told = e.answer_box("Return", says="All 128 programs were restored from ...")
    folder = safety_backups(session)
    kept = lib.check_safety_backup(folder, kept_before, told, held)
    e.no_box("the restore")
    return kept_before + [kept]


def librarian_case(session, editor, log, work):
    """Program files and backups through the shell's dialogs, as librarian_e2e runs them on
    Linux, against a device whose 128 programs all differ: Save program (Ctrl+S) writes the
    shown program's message; Open program (Ctrl+O) sends a file's settings with the MIDI channel
    kept, one undo step; a file that is no program file is refused in a message box that says
    why, and nothing is sent; Back up all programs writes what the device holds, all 128
    programs (under a name outside the ANSI code page); Restore all programs asks first: Cancel
    (Escape) sends nothing, Restore (Alt+R) keeps the device's programs in a safety backup and
    sends the file's (restore_and_check); the history goes with it. (The menu's backups folder
    opens Explorer, which Wine's shell has no window of ours to show: not tried here.)"""
    lib = librarian_e2e
    e = lib.Editor(session, editor.window, log)
    w = lambda h: [("WRITE_SETTINGS", h)]

    def choose(path, saving):
        dialogs.choose(wine_path(path), session.env, location_key=None,
                       titles=WIN_SAVE_TITLES if saving else (WIN_OPEN_TITLE,))

    shown = lib.as_write(lib.dumps_sent(log)[0])
    saved = os.path.join(work, "mine.syx")
    e.expect_nothing("Ctrl+S, Save program", lambda: (e.key("ctrl+s"), choose(saved, True)))
    with open(saved, "rb") as f:
        if f.read() != shown:
            raise Failure("the program file holds something else than " + lib.hexbytes(shown))
    e.no_box("Save program")

    other = os.path.join(work, "other.syx")
    with open(other, "wb") as f:
        f.write(bytes.fromhex("f0 00 01 4d 05 %s f7" % PROGRAM_BLOCK))
    e.expect("Ctrl+O, Open program", lambda: (e.key("ctrl+o"), choose(other, False)),
             w("f0 00 01 00 %02x %s f7" % (shown[4], PROGRAM_BLOCK)))
    e.no_box("Open program")
    e.expect("Ctrl+Z undoes the opened program", lambda: e.key("ctrl+z"), w(lib.hexbytes(shown)))

    bad = os.path.join(work, "bad.syx")
    with open(bad, "wb") as f:
        f.write(bytes.fromhex("f0 41 10 42 12 f7"))
    e.expect_nothing("menu: Open program, a bad file", lambda: (
        e.menu(lib.OPEN), choose(bad, False),
        e.answer_box("Return", says="bad.syx is not a program file: it is 6 bytes long; a "
                                    "program file is one 18-byte settings message. Nothing "
                                    "was sent.")))

    backup = os.path.join(work, "Sicherung \u00e4\u03a9.syx")
    dumps_before = len(lib.dumps_sent(log))
    e.expect("menu: Back up all programs", lambda: (e.menu(lib.BACKUP), choose(backup, True)),
             [("READ_SETTINGS", "f0 00 02 %02x f7" % p) for p in range(128)], settle=1.0,
             timeout=60)
    e.no_box("the backup")
    with open(backup, "rb") as f:
        backed_up = f.read()
    data = bytearray(backed_up)
    if len(set(bytes(data[p * 18 + 5:p * 18 + 17]) for p in range(128))) < 100:
        raise Failure("the device's programs are too much alike for this test")
    lib.check_holds("the backup file", log, dumps_before, backed_up)

    e.expect_nothing("menu: Restore, Cancel", lambda: (
        e.menu(lib.RESTORE), choose(backup, False), e.answer_box("Escape")))
    data[5 * 18 + 12] = data[5 * 18 + 12] & 0xF0 | (data[5 * 18 + 12] & 0x0F) % 3 + 1
    changed = os.path.join(work, "changed.syx")
    with open(changed, "wb") as f:
        f.write(data)
    folder = safety_backups(session)  # the prefix's, kept from earlier runs
    earlier = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    kept = restore_and_check(session, e, log, data,
                             lambda: (e.menu(lib.RESTORE), choose(changed, False)),
                             backed_up, earlier)
    e.expect_nothing("the history went with the restore", lambda: e.key("ctrl+z"))
    return data, kept


def given_backup_case(session, wine_run, exe, wm_close, log, work, data, kept):
    """orq-editor.exe BACKUP.syx, named outside the ANSI code page: once connected, the editor
    asks before restoring it, as Restore all programs asks, and Restore (Alt+R) restores it
    (restore_and_check). (A device that comes after the editor cannot be shown under Wine, whose
    winmm counts the ports once, when it loads the driver.)"""
    held = bytes(data)
    data = bytearray(data)
    data[9 * 18 + 13] = data[9 * 18 + 13] & 0xF0 | (data[9 * 18 + 13] & 0x0F) % 3 + 1
    given = os.path.join(work, "Gegeben \u03a9.syx")
    with open(given, "wb") as f:
        f.write(data)
    since = len(received(log))
    editor = Editor(session, wine_run, exe, wm_close, log, name="editor",
                    args=[wine_path(given)])
    wait_until("the connect read", lambda: len(received(log)) >= since + len(CONNECT), 60,
               session.check_running)
    editor.window = find_window(session)[0]
    e = librarian_e2e.Editor(session, editor.window, log)
    restore_and_check(session, e, log, data, lambda: None, held, kept)
    editor.close()


def firmware_image(log):
    """The image the FIRMWARE_CHUNKs carried: six offset nibbles, then 256 bytes as nibbles."""
    image = bytearray(FIRMWARE_SIZE)
    for name, text in received(log):
        if name == "FIRMWARE_CHUNK":
            m = bytes.fromhex(text)
            offset = 0
            for nibble in m[3:9]:
                offset = offset << 4 | nibble
            image[offset:offset + 256] = bytes((m[i] << 4) | m[i + 1] for i in range(9, 521, 2))
    return bytes(image)


def firmware_case(session, wine_run, exe, wm_close, devsim):
    """A newer image from a loopback HTTP server, downloaded through URL monikers, flashed after
    the device's 128 programs have been read into a safety backup. A first editor is closed
    during the transfer; a second sends every chunk in order, the commit, RESET, says so in a
    box naming the safety backup, reads the device again once that is answered, and the image
    rebuilt from the chunks is the served one."""
    image = bytes(((i * 13) ^ (i >> 8)) & 0xFF for i in range(FIRMWARE_SIZE - 4)) + \
        bytes([0x05, 0x01, 0x00, 0x00])  # stamp 1.5 at 131068
    requests = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            requests.append(self.path)
            self.send_response(200)
            self.send_header("Content-Length", str(len(image)))
            self.end_headers()
            self.wfile.write(image)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    log = os.path.join(session.work, "firmware.log")
    try:
        sim = session.start("firmware-devsim", [devsim, "--model", "1", "--name", DEVICE_NAME,
                                              "--firmware", "1.4", "--log", log],
                            env=dict(session.env, ORQ_MIDI_API="jack"))
        time.sleep(0.3)
        env = dict(session.env,
                   ORQ_FIRMWARE_URL="http://127.0.0.1:%d/ORQ.bin" % server.server_address[1])

        # Closed during the transfer, the editor ends as promptly as when idle and sends
        # nothing after the chunk it was waiting on: no commit, no RESET, so the device keeps
        # its firmware (as the Linux editor leaves it).
        editor = Editor(session, wine_run, exe, wm_close, log, name="editor-closed", env=env)
        wait_until("the firmware transfer under way",
                   lambda: [n for n, _ in received(log)].count("FIRMWARE_CHUNK") >= 64, 60,
                   session.check_running)
        took = editor.close(budget=CLOSE_BUDGET)
        names = [n for n, _ in received(log)]
        time.sleep(0.5)
        if [n for n, _ in received(log)] != names or names[0] != "IDENTIFY" or \
                names[1:129] != ["READ_SETTINGS"] * 128 or set(names[129:]) != {"FIRMWARE_CHUNK"}:
            raise Failure("closed during the transfer, the device received %s ... %s" %
                          (names[:2], names[-3:]))
        print("ok closed during the firmware transfer (%d chunks sent): ended %.2f s after "
              "the request, nothing committed" % (len(names) - 129, took))
        # The device now holds half a transfer, which makes it refuse the next commit until a
        # RESET (the Linux editor leaves it so too): the whole update goes to a fresh one.
        session.end(sim)
        log = os.path.join(session.work, "firmware-whole.log")
        sim = session.start("firmware-devsim-whole", [devsim, "--model", "1", "--name",
                                                      DEVICE_NAME, "--firmware", "1.4",
                                                      "--log", log],
                            env=dict(session.env, ORQ_MIDI_API="jack"))
        time.sleep(0.3)

        editor = Editor(session, wine_run, exe, wm_close, log, name="editor-firmware",
                        env=env)
        started = time.monotonic()
        want = ["IDENTIFY"] + ["READ_SETTINGS"] * 128 + ["FIRMWARE_CHUNK"] * 512 + \
            ["END_TRANSFER", "RESET"]
        wait_until("the safety backup", lambda: len(received(log)) >= 129, 60,
                   session.check_running)
        editor.window = find_window(session)[0]
        at = expect(log, 0, want, "the firmware update")
        told = librarian_e2e.Editor(session, editor.window, log)
        said = "orq-editor: The firmware was updated to 1.5.0. The programs before it are in "
        wait_until("the box's text", lambda: said in session.output("editor-firmware"), 30)
        told.answer_box("Return")
        expect(log, at, [n for n, _ in CONNECT], "the read after the update", settle=1.0)
        if firmware_image(log) != image or requests != ["/ORQ.bin"] * 2:
            raise Failure("the chunks carry another image, or %d downloads" % len(requests))
        print("ok firmware 1.5 downloaded and sent whole in %.1f s" %
              (time.monotonic() - started))
        editor.close()
        session.end(sim)
    finally:
        server.shutdown()
        server.server_close()


def orqctl_cases(session, wine_run, exe, devsim, first, reference):
    """orqctl.exe through the same port: info (the connect read, shown as the Linux orqctl
    shows it), a backup (exactly the dumps the device sent), a restore into a fresh device
    (exactly the backup's messages sent, and a backup afterwards equal to the restored one),
    and ir load (the image the device received equal to the Linux build's import). The file
    name is outside the ANSI code page: the arguments must arrive whole."""
    env = dict(session.env, LANG="C.UTF-8")

    def windows(*args):
        r = subprocess.run([wine_run, exe] + list(args), env=env, capture_output=True,
                           text=True, timeout=120)
        if r.returncode != 0:
            raise Failure("orqctl.exe %s: status %d: %s" % (args[0], r.returncode, r.stderr))
        return r.stdout

    def backup(log, path):
        at = len(log_lines(log, "->"))
        windows("backup", wine_path(path))
        with open(path, "rb") as f:
            data = f.read()
        # A backup is the device's 128 dumps, each turned into the message that writes it back.
        dumps = [bytes.fromhex(h) for _, n, h in log_lines(log, "->")[at:] if n == "SETTINGS_DUMP"]
        if data != b"".join(d[:2] + b"\x01" + d[3:] for d in dumps) or len(dumps) != 128:
            raise Failure("orqctl.exe backup: %d bytes, not the %d dumps the device sent" %
                          (len(data), len(dumps)))
        return data

    sim, first_log = first
    out = windows("info")
    expect(first_log, 0, CONNECT, "orqctl.exe info")
    if out != reference[2]:
        raise Failure("orqctl.exe info shows\n%s\nthe Linux orqctl\n%s" % (out, reference[2]))
    print("ok orqctl.exe info: the connect read, shown as the Linux orqctl shows it")

    windows("set", "12", "gate1=50", "boost1=on")
    path = os.path.join(session.work, "Sicherung \u00e4\u03a9.syx")
    backed_up = backup(first_log, path)
    print("ok orqctl.exe backup: %d bytes, the device's dumps" % len(backed_up))
    session.end(sim)

    # A fresh device holds the defaults, which the backup's program 12 is not.
    log = os.path.join(session.work, "second.log")
    sim = session.start("second-devsim", [devsim, "--model", "1", "--name", DEVICE_NAME,
                                          "--log", log],
                        env=dict(session.env, ORQ_MIDI_API="jack"))
    time.sleep(0.5)
    before = backup(log, os.path.join(session.work, "before.syx"))
    at = len(received(log))
    windows("restore", wine_path(path))
    writes = [bytes.fromhex(h) for n, h in received(log)[at:] if n == "WRITE_SETTINGS"]
    after = backup(log, os.path.join(session.work, "after.syx"))
    if before == backed_up or b"".join(writes) != backed_up or after != backed_up:
        raise Failure("after orqctl.exe restore the device does not hold the backup")
    print("ok orqctl.exe restore: the backup's messages sent, and the device holds them")

    at = len(received(log))
    windows("ir", "load", "5", wine_path(reference[0]))
    names = [n for n, _ in received(log)]
    chunks = names[at:].count("IR_CHUNK")
    image = ir_e2e.uploaded_image(log, names.index("IR_CHUNK", at), chunks)
    if image != reference[1]:
        raise Failure("orqctl.exe ir load sent another image than the Linux build's import")
    print("ok orqctl.exe ir load: %d chunks, the Linux build's image" % chunks)
    session.end(sim)


def main():
    # A timeout's SIGTERM still runs the clean-up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    args = sys.argv[1:]
    if len(args) < 7 or (args[5], len(args)) not in (("--editor", 9), ("--drop", 11),
                                                      ("--librarian", 8), ("--run", 7),
                                                      ("--orqctl", 8)):
        print(__doc__, file=sys.stderr)
        return 2
    wine_run, driver, devsim, bridge, prefix = args[:5]
    prefix = os.path.abspath(prefix)
    program = args[6]
    mode = args[5]
    wm_close = args[7] if mode in ("--editor", "--drop", "--librarian") else None
    orqctl = args[8] if mode in ("--editor", "--drop") else args[-1] if mode == "--orqctl" else None
    xdnd, post_drop = args[9:11] if mode == "--drop" else (None, None)
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
        if orqctl is not None:
            # What the user imports, and what the Linux build makes of it. At 48 kHz, which
            # needs no resampling: the resampler's sinf is the C library's, whose last bit
            # differs between glibc and MinGW-w64 (a 44.1 kHz file's image differs in 1 ulp
            # of about 200 of its 3210 samples), and only the transport is checked here.
            os.mkdir(os.path.join(work, "IRs here"))
            wav = os.path.join(work, "IRs here", "My Cab.wav")
            ir_e2e.write_wav(wav, rate=48000)
            reference = (wav,) + reference_import(session, devsim, orqctl, wav)

        # For the librarian, programs that all differ (librarian_e2e's seed).
        seed = ["--settings-seed", librarian_e2e.SEED] if mode == "--librarian" else []
        sim = session.start("devsim", [devsim, "--model", "1", "--name", DEVICE_NAME,
                                       "--log", log] + seed,
                            env=dict(session.env, ORQ_MIDI_API="jack"), stdin=subprocess.PIPE)
        session.start("bridge", [bridge, port_file])
        port = wait_until("the bridge", lambda: os.path.exists(port_file) and
                          open(port_file).read().strip(), 10, session.check_running)
        session.env["ORQ_MIDI_BRIDGE_PORT"] = port

        if mode == "--run":
            # A second device of the same name, which Windows lists numbered.
            session.start("twin-devsim", [devsim, "--model", "1", "--name", DEVICE_NAME],
                          env=dict(session.env, ORQ_MIDI_API="jack"))
            time.sleep(0.5)
            run_program(session, wine_run, program)
        elif mode == "--orqctl":
            orqctl_cases(session, wine_run, program, devsim, (sim, log), reference)
        elif mode == "--librarian":
            editor = Editor(session, wine_run, program, wm_close, log)
            editor.connect()
            data, kept = librarian_case(session, editor, log, work)
            editor.close()
            given_backup_case(session, wine_run, program, wm_close, log, work, data, kept)
        elif mode == "--drop":
            editor = Editor(session, wine_run, program, wm_close, log)
            editor.connect()
            drop_case(session, wine_run, editor, log, reference, xdnd, post_drop)
            editor.close()
        else:
            editor = Editor(session, wine_run, program, wm_close, log)
            took = editor.connect()
            connect_report(log, took)
            idle_report(session)
            panel_cases(session, editor, log, sim.stdin, work, reference)
            editor.close()
            session.end(sim)
            firmware_case(session, wine_run, program, wm_close, devsim)
        ok = True
    except (Failure, dialogs.DialogError) as e:
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
