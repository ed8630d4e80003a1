#!/usr/bin/env python3
"""The editor's real file dialogs under Xvfb, answered with xdotool as a person would.

dialog_probe shows the editor window and asks for dialogs from a worker thread; this script
answers each one through tests/e2e/dialogs.py and checks the exact bytes of every answer, the
folder each dialog opens in, the "Wave" filter, cancelling, and that closing the editor while a
dialog is open ends the program with status 0 within one second.

Usage: dialog_test.py DIALOG_PROBE WM_CLOSE
Uses DISPLAY when set, otherwise starts an Xvfb of its own.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import dialogs  # noqa: E402

WAVE_FILTER = "Wave[a.wav B.WAV c.Wave d.wave e.WAVE]"


class Failure(Exception):
    pass


def start_xvfb(env, procs):
    display = dialogs.start_xvfb(lambda args, fds: procs.append(subprocess.Popen(
        args, pass_fds=fds, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)))
    if not display:
        raise Failure("Xvfb did not start")
    env["DISPLAY"] = display


class Probe:
    """One dialog_probe run; its output lines are read as they come (bytes: paths need not
    be UTF-8)."""

    def __init__(self, probe, args, env, work, name):
        self.out_path = os.path.join(work, name + ".out")
        with open(self.out_path, "wb") as out, \
                open(os.path.join(work, name + "-stderr.out"), "wb") as err:
            self.proc = subprocess.Popen([probe] + args, stdout=out, stderr=err,
                                         stdin=subprocess.DEVNULL, env=env)
        self.read = 0  # lines consumed by next()

    def lines(self):
        with open(self.out_path, "rb") as f:
            data = f.read()
        # Only complete lines; the probe writes each line in one call.
        return [l for l in data.split(b"\n")[:-1]
                if not l.startswith(b"concurrent") and not l.startswith(b"freed")]

    def count(self, prefix):
        with open(self.out_path, "rb") as f:
            return sum(1 for l in f.read().split(b"\n") if l.startswith(prefix))

    def next(self, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            lines = self.lines()
            if len(lines) > self.read:
                self.read += 1
                return lines[self.read - 1]
            if self.proc.poll() is not None:
                raise Failure("probe ended (status %s) before printing line %d"
                              % (self.proc.returncode, self.read + 1))
            time.sleep(0.02)
        raise Failure("probe printed no line %d within %d s" % (self.read + 1, timeout))

    def expect(self, want):
        got = self.next()
        if got != want:
            raise Failure("probe said\n  %r\nexpected\n  %r" % (got, want))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def b(path):
    return os.fsencode(path)


def dialog_line(title, action, folder, filters):
    return b"dialog title=%s action=%s modal=0 folder=%s filters=%s" % (
        title.encode(), action.encode(), b(folder), filters.encode())


def run(probe_exe, wm_close, env, work):
    # Shutdown while a request waits in the loop's queue, before any dialog is shown.
    r = subprocess.run([probe_exe, "--queued"], env=env, capture_output=True, timeout=30)
    if r.returncode != 0 or b"queued ok" not in r.stdout:
        raise Failure("queued request at shutdown: status %d\n%s%s"
                      % (r.returncode, r.stdout.decode(errors="replace"),
                         r.stderr.decode(errors="replace")))
    print("ok a queued request is answered empty at shutdown")

    # Names with spaces, accents and CJK; a second home folder whose name is not UTF-8.
    root = os.path.join(work, "files")
    home = os.path.join(root, "home \u00e9")
    odd_home = os.fsdecode(os.path.join(b(root), b"home \xff\xfe"))
    wav = os.path.join(root, "\u00e9 \u4e00 cab.wav")
    out = os.path.join(root, "out \u00e9 \u4e00")
    for folder in (home, odd_home, out):
        os.makedirs(folder)
    with open(wav, "wb") as f:
        f.write(b"RIFF")

    # WAV, folder, WAV (cancelled), an unknown mode; then the program ends by itself.
    p = Probe(probe_exe, ["0", "2", "0", "1"], dict(env, HOME=home), work, "typed")
    try:
        pid = p.proc.pid
        # The WAV dialog opens in the home folder and offers only "Wave", matching the
        # extensions whatever their case.
        p.expect(dialog_line("Open", "open", home, WAVE_FILTER))
        dialogs.choose(wav, env=env, pid=pid, titles=[dialogs.WAV_TITLE])
        p.expect(b"result 0 [%s]" % b(wav))
        print("ok WAV dialog: opens in home, Wave filter, typed path returned exactly")

        # The folder dialog opens where the last file was.
        p.expect(dialog_line("Select Folder", "folder", root, ""))
        dialogs.choose(out, env=env, pid=pid, titles=[dialogs.FOLDER_TITLE])
        p.expect(b"result 2 [%s]" % b(out))
        print("ok folder dialog: opens in the last file's folder, typed path returned exactly")

        p.expect(dialog_line("Open", "open", out, WAVE_FILTER))
        dialogs.cancel(env=env, pid=pid, titles=[dialogs.WAV_TITLE])
        p.expect(b"result 0 []")
        print("ok cancel gives an empty path")

        p.expect(b"result 1 []")  # no dialog for an unknown mode
        if p.proc.wait(timeout=5) != 0:
            raise Failure("probe ended with status %d" % p.proc.returncode)
        print("ok unknown mode: empty, no dialog")
        check_all_freed(p, 3)
        if p.count(b"concurrent") != 1 or p.count(b"concurrent []") != 1:
            raise Failure("a second request while a dialog was open was not refused")
        print("ok a second request while a dialog is open gets an empty answer")
    finally:
        p.stop()

    # Folder twice; the editor is closed while the second is open.
    p = Probe(probe_exe, ["2", "2"], dict(env, HOME=odd_home), work, "closed")
    try:
        pid = p.proc.pid
        # Confirming the folder dialog as it opened gives that folder's bytes back unchanged.
        p.expect(dialog_line("Select Folder", "folder", odd_home, ""))
        dialogs.accept(env=env, pid=pid, titles=[dialogs.FOLDER_TITLE])
        p.expect(b"result 2 [%s]" % b(odd_home))
        print("ok folder dialog: returns a non-UTF-8 path unchanged")

        p.expect(dialog_line("Select Folder", "folder", odd_home, ""))
        dialogs.wait_for_dialog(env=env, pid=pid, titles=[dialogs.FOLDER_TITLE])
        start = time.monotonic()
        if subprocess.run([wm_close, "Tarvik Editor"], env=env, timeout=10).returncode != 0:
            raise Failure("could not send the close request")
        try:
            status = p.proc.wait(timeout=1.0)
        except subprocess.TimeoutExpired:
            raise Failure("still running 1 s after the close request")
        elapsed = time.monotonic() - start
        if status != 0:
            raise Failure("exit status %d after the close request" % status)
        p.expect(b"result 2 []")
        check_all_freed(p, 2)
        print("ok closed with a dialog open: status 0 after %d ms" % (elapsed * 1000))
    finally:
        p.stop()


def replace_question(probe_exe, env, work):
    """Save program's name without .syx gets it added; when that names a file, the editor asks
    before replacing it, as the dialog asks for a name typed whole."""
    keep = os.path.join(work, "files", "keep \u00e9")
    os.makedirs(keep)
    weekly = os.path.join(keep, "weekly.syx")
    with open(weekly, "wb") as f:
        f.write(b"\xf0\xf7")
    save = dialog_line("Save", "open", keep, "System exclusive[]")
    p = Probe(probe_exe, ["4", "4", "4"], dict(env, HOME=keep), work, "replace")
    try:
        pid = p.proc.pid
        p.expect(save)
        windows = lambda: set(dialogs._dialogs(env, pid, ["Tarvik Editor"]))
        main = windows()

        def answer_question(key):
            box = dialogs._wait("the question before replacing weekly.syx",
                                lambda: next(iter(windows() - main), None), 10)
            dialogs._focus(box, env)
            time.sleep(0.3)
            dialogs._xdotool(["key", "--clearmodifiers", key], env)
            dialogs.wait_gone(box, env)

        dialogs.choose(os.path.join(keep, "weekly"), env=env, pid=pid, titles=["Save"],
                       location_key="ctrl+a")
        answer_question("Escape")
        dialogs.cancel(env=env, pid=pid, titles=["Save"])  # the dialog came back for another name
        p.expect(b"result 4 []")
        print("ok save: a name that becomes an existing file asks first; Cancel asks again")

        p.expect(save)
        dialogs.choose(os.path.join(keep, "weekly"), env=env, pid=pid, titles=["Save"],
                       location_key="ctrl+a")
        answer_question("alt+r")
        p.expect(b"result 4 [%s]" % b(weekly))
        print("ok save: Replace gives the name as it is written")

        p.expect(save)
        dialogs.choose(os.path.join(keep, "fresh"), env=env, pid=pid, titles=["Save"],
                       location_key="ctrl+a")
        p.expect(b"result 4 [%s]" % b(os.path.join(keep, "fresh.syx")))
        if p.proc.wait(timeout=5) != 0:
            raise Failure("probe ended with status %d" % p.proc.returncode)
        print("ok save: a new name asks nothing")
    finally:
        p.stop()


def check_all_freed(p, shown):
    # The dialog windows are finalized once answered: nothing keeps the dialog objects alive.
    freed = p.count(b"freed")
    if freed != shown:
        raise Failure("%d of %d dialog windows were freed" % (freed, shown))


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    probe_exe, wm_close = sys.argv[1], sys.argv[2]
    for tool in ("xdotool",) + (() if os.environ.get("DISPLAY") else ("Xvfb",)):
        if shutil.which(tool) is None:
            print("dialog_test: %s not found" % tool, file=sys.stderr)
            return 2
    work = tempfile.mkdtemp(prefix="orq-dialogs-")
    env = dict(os.environ)
    env["NO_AT_BRIDGE"] = "1"  # no accessibility bus under Xvfb
    env["GDK_BACKEND"] = "x11"
    env["GSETTINGS_BACKEND"] = "memory"  # no settings daemon; keep the user's settings out
    env.pop("GTK_USE_PORTAL", None)  # the in-process dialog, which xdotool can reach
    env["XDG_DATA_HOME"] = os.path.join(work, "data")  # recent-files list stays in here
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")  # and so do the bookmarks
    # Under ThreadSanitizer: GLib and GTK are not instrumented, so their own locking is
    # invisible and their memory traffic would look racy; and the 1 s that it waits at exit
    # by default is not the program's.
    tsan = "ignore_noninstrumented_modules=1:atexit_sleep_ms=0"
    env["TSAN_OPTIONS"] = env["TSAN_OPTIONS"] + ":" + tsan if env.get("TSAN_OPTIONS") else tsan
    procs = []
    ok = False
    try:
        if not env.get("DISPLAY"):
            start_xvfb(env, procs)
        run(probe_exe, wm_close, env, work)
        replace_question(probe_exe, env, work)
        ok = True
    except (Failure, dialogs.DialogError, subprocess.TimeoutExpired) as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        for proc in procs:
            proc.terminate()
            proc.wait()
        if ok:
            shutil.rmtree(work, ignore_errors=True)
        else:
            for name in sorted(os.listdir(work)):
                if name.endswith(".out"):
                    with open(os.path.join(work, name), "rb") as f:
                        print("---- %s\n%s" % (name, f.read()[-4000:].decode(errors="replace")),
                              file=sys.stderr)
            print("dialog_test: files kept in %s" % work, file=sys.stderr)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
