"""Answers the editor's file dialogs from outside, as a person at the keyboard would: find the
dialog window, give it the keyboard focus, Ctrl+L to open its location bar, type the path,
Return. Works without a window manager (plain Xvfb): the focus is set directly on the window
rather than asked of a window manager.

    import dialogs
    dialogs.choose("/tmp/x/My Cab.wav", env=env)   # answers the open dialog
    dialogs.cancel(env=env)                           # Escape

Every function waits for the dialog to appear and, when it answers, for it to go away, and
raises DialogError on a timeout. `env` is the environment for xdotool (DISPLAY); `pid`, when
given, restricts the search to that process's windows. The editor must run without
GTK_USE_PORTAL=1: a portal's dialog belongs to another process and has other keys.
"""

import ctypes
import ctypes.util
import os
import subprocess
import time

WAV_TITLE = "Open"
FOLDER_TITLE = "Select Folder"
TITLES = (WAV_TITLE, FOLDER_TITLE)


class DialogError(Exception):
    pass


def start_xvfb(launch, width=1600, height=1200):
    """Starts Xvfb on a display number it picks itself (-displayfd) and returns that display
    (":N"), or None when it names none within 15 s. `launch(args, pass_fds)` starts the
    process, so that the caller keeps it to stop later."""
    read_end, write_end = os.pipe()
    launch(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
            "-nolisten", "tcp"], (write_end,))
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 15
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    return ":" + number.decode().strip() if number.strip() else None


def _xdotool(args, env):
    return subprocess.run(["xdotool"] + args, env=env, capture_output=True, text=True,
                          timeout=30)


def _dialogs(env, pid, titles):
    """Ids of the shown windows whose title is one of `titles`."""
    pattern = "^(%s)$" % "|".join(titles)
    args = ["search", "--onlyvisible"]
    if pid is not None:
        args += ["--all", "--pid", str(pid)]
    return _xdotool(args + ["--name", pattern], env).stdout.split()


def _wait(what, predicate, timeout):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise DialogError("timed out waiting for " + what)
        time.sleep(0.05)


def wait_for_dialog(env=None, pid=None, titles=TITLES, timeout=10):
    """Waits until one of the editor's file dialogs is shown; returns its window id."""
    return _wait("a file dialog titled " + " or ".join(titles),
                 lambda: (_dialogs(env, pid, titles) or [None])[0], timeout)


def wait_gone(window, env=None, timeout=10):
    """Waits until the dialog window is no longer shown."""
    def gone():
        shown = _xdotool(["search", "--onlyvisible", "--name", "."], env).stdout.split()
        return window not in shown
    _wait("the file dialog to close", gone, timeout)


class _SpareKeys:
    """Binds the characters of a text that the keyboard map lacks (accents, CJK) to unused
    keys for as long as the text is typed. Left to itself, xdotool rebinds one spare key per
    character and restores it right after the key press; an application reads the keyboard
    map only when it gets round to the key, and under load it then reads the wrong one."""

    def __init__(self, text, env):
        self.x = None
        self.bound = []
        wanted = sorted({_keysym(c) for c in text if ord(c) >= 0x80})
        if not wanted:
            return
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                       ctypes.POINTER(ctypes.c_int)]
        x.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        x.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                          ctypes.POINTER(ctypes.c_int)]
        x.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                             ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = (env if env is not None else os.environ).get("DISPLAY", "")
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise DialogError("cannot open display %r" % display)
        self.x = x
        low, high, per = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        x.XDisplayKeycodes(self.dpy, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        syms = x.XGetKeyboardMapping(self.dpy, low.value, count, ctypes.byref(per))
        self.per = per.value
        table = [syms[i] for i in range(count * self.per)]
        x.XFree(syms)
        spare = [low.value + k for k in range(count)
                 if not any(table[k * self.per:(k + 1) * self.per])]
        missing = [sym for sym in wanted if sym not in table]
        if len(missing) > len(spare):
            self.close()
            raise DialogError("not enough unused keys to type %r" % text)
        for code, sym in zip(spare, missing):
            self._set(code, sym)
            self.bound.append(code)
        x.XSync(self.dpy, 0)

    def _set(self, code, sym):
        row = (ctypes.c_ulong * self.per)(*([sym, sym] + [0] * (self.per - 2))[:self.per])
        self.x.XChangeKeyboardMapping(self.dpy, code, self.per, row, 1)

    def close(self):
        if self.x is None:
            return
        for code in self.bound:
            self._set(code, 0)
        self.x.XSync(self.dpy, 0)
        self.x.XCloseDisplay(self.dpy)
        self.x = None


def _keysym(char):
    code = ord(char)
    return code if code < 0x100 else 0x01000000 + code


def _focus(window, env):
    # No window manager under Xvfb: windowactivate needs one, windowfocus sets the X focus.
    r = _xdotool(["windowfocus", "--sync", window], env)
    if r.returncode != 0:
        raise DialogError("could not focus dialog %s: %s" % (window, r.stderr.strip()))


def choose(path, env=None, pid=None, titles=TITLES, timeout=10, location_key="ctrl+l"):
    """Types `path` (a file for the open dialog, a folder for the folder dialog) into the
    dialog's location bar and confirms it. Returns once the dialog has closed. The shell's
    dialogs under Wine have the name box focused as they open: location_key=None there."""
    window = wait_for_dialog(env, pid, titles, timeout)
    keys = _SpareKeys(path, env)
    try:
        _focus(window, env)
        if location_key:
            _xdotool(["key", "--clearmodifiers", location_key], env)
        _xdotool(["type", "--clearmodifiers", "--delay", "20", path], env)
        # The open dialog enables its Open button only 150 ms after the typing stops, and
        # Return does nothing until then (a person pressing it too soon presses it again).
        time.sleep(0.5)
        _xdotool(["key", "--clearmodifiers", "Return"], env)
        try:
            wait_gone(window, env, 2)
        except DialogError:
            _xdotool(["key", "--clearmodifiers", "Return"], env)
            wait_gone(window, env, timeout)
    finally:
        # Only now: the dialog has read every key it was sent.
        keys.close()


def cancel(env=None, pid=None, titles=TITLES, timeout=10):
    """Closes the dialog with Escape, which the editor takes as 'nothing chosen'."""
    window = wait_for_dialog(env, pid, titles, timeout)
    _focus(window, env)
    _xdotool(["key", "--clearmodifiers", "Escape"], env)
    wait_gone(window, env, timeout)


def accept(env=None, pid=None, titles=TITLES, timeout=10):
    """Confirms the dialog as it opened: in the folder dialog, the folder it shows."""
    window = wait_for_dialog(env, pid, titles, timeout)
    _focus(window, env)
    _xdotool(["key", "--clearmodifiers", "Return"], env)
    wait_gone(window, env, timeout)
