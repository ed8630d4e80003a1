#!/usr/bin/env python3
"""End-to-end test of undo, the panel's menu, program files and backups: the real orq-editor
under Xvfb against orq-devsim on a private JACK server, driven with xdotool (keys, the right
button's menu worked from the keyboard, the file dialogs and the restore's question answered as
a person would). Every action must reach the simulator as exactly the expected messages, and
the files written must hold them.

Usage: scripts/with-jack.sh tests/e2e/librarian_e2e.py ORQ_EDITOR ORQ_DEVSIM
"""

import os
import shutil
import sys
import tempfile
import time
import urllib.parse

import dialogs
from panel_e2e import Failure, Session, click, find_window, received, wait_until

PRESENCE_CH1 = (29, 90)
GATE_CH1 = (120, 300)
SEED = "5"  # the simulated device's programs differ from each other

# The menu's entries, in order; worked with Down and Return, which skip greyed entries.
UNDO, REDO, OPEN, SAVE, BACKUP, RESTORE, FOLDER = range(7)


def hexbytes(data):
    return " ".join("%02x" % b for b in data)


def dumps_sent(log_path):
    """The SETTINGS_DUMPs the simulator sent, as bytes, in order: what it held when asked."""
    out = []
    with open(log_path) as f:
        for line in f:
            parts = line.split(None, 3)
            if len(parts) == 4 and parts[1] == "->" and parts[2] == "SETTINGS_DUMP":
                out.append(bytes.fromhex(parts[3]))
    return out


def as_write(dump):
    """The WRITE_SETTINGS that carries what a SETTINGS_DUMP reports."""
    return dump[:2] + b"\x01" + dump[3:]


def check_holds(what, log, start, messages, count=None):
    """The dumps the simulator sent after `start` dumps (`count` of them, or all) are exactly
    `messages` (a backup's or restored file's 128 WRITE_SETTINGS, as 2304 bytes)."""
    dumps = dumps_sent(log)[start:]
    got = b"".join(as_write(d) for d in (dumps[:count] if count else dumps))
    if got != messages:
        at = next((i for i in range(0, len(messages), 18)
                   if got[i:i + 18] != messages[i:i + 18]), len(got))
        raise Failure("%s: program %d: the device holds %s, the file %s" % (
            what, at // 18, hexbytes(got[at:at + 18]), hexbytes(messages[at:at + 18])))
    print("ok %-40s all 128 programs" % what)


def check_safety_backup(folder, before, told, held):
    """Exactly one file in `folder` beyond the names `before`, named in the box text `told`,
    holding `held` (the device's programs before the restore). Returns its name."""
    kept = [k for k in sorted(os.listdir(folder)) if k not in before]
    if len(kept) != 1 or kept[0] not in told:
        raise Failure("the backups folder has %s new; the box said %r" % (kept, told))
    with open(os.path.join(folder, kept[0]), "rb") as f:
        if f.read() != held:
            raise Failure("the safety backup %s is not what the device held" % kept[0])
    print("ok %-40s %s" % ("the safety backup", kept[0]))
    return kept[0]


class Editor:
    def __init__(self, session, window, log):
        self.s, self.window, self.log = session, window, log

    def key(self, keys):
        self.s.run(["xdotool", "windowfocus", "--sync", self.window])
        self.s.run(["xdotool", "key", "--clearmodifiers", keys])

    def menu(self, downs):
        """Opens the panel's menu over the picture and presses Down `downs` + 1 times."""
        self.s.run(["xdotool", "mousemove", "--window", self.window, "600", "450"])
        time.sleep(0.1)
        self.s.run(["xdotool", "click", "3"])
        time.sleep(0.5)
        self.s.run(["xdotool", "key", "--delay", "50"] + ["Down"] * (downs + 1) + ["Return"])

    def expect(self, what, act, messages, settle=0.4, timeout=15):
        """Runs act() and checks the simulator then received exactly `messages`, a list of
        (name, hex) or a count of (name, None) pairs to match on the name alone."""
        before = len(received(self.log))
        act()
        got = wait_until(what, lambda: (lambda r: r if len(r) >= len(messages) else None)(
            received(self.log)[before:]), timeout, self.s.check_running)
        time.sleep(settle)
        got = received(self.log)[before:]
        want = [(n, h) for n, h in messages]
        if [(n, h if w is not None else None) for (n, h), (_, w) in zip(got, want)] != want \
                or len(got) != len(want):
            raise Failure("%s: the device received %s, expected %s" % (what, got[:6], want[:6]))
        print("ok %-40s %d message(s)" % (what, len(got)))
        return got

    def expect_nothing(self, what, act, settle=1.0):
        before = len(received(self.log))
        act()
        time.sleep(settle)
        extra = received(self.log)[before:]
        if extra:
            raise Failure("%s: the device received %s, expected nothing" % (what, extra))
        print("ok %-40s nothing sent" % what)

    def boxes(self):
        """The editor's message boxes: windows of the editor's title besides its own."""
        r = self.s.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarvik Editor$"])
        return [w for w in r.stdout.split() if w != self.window]

    def answer_box(self, keys, says=None):
        """Answers the box with `keys`; `says`, when given, is its text (or, ending in "...",
        the text's start), which the editor also writes to its standard error. Returns the
        text."""
        box = wait_until("the editor's message box", lambda: (self.boxes() or [None])[0], 10)
        text = None
        if says is not None:
            start = says[:-3] if says.endswith("...") else None
            def said():
                for line in self.s.output("editor").splitlines():
                    told = line[len("orq-editor: "):] if line.startswith("orq-editor: ") else None
                    if told is not None and (told == says or start and told.startswith(start)):
                        return told
            text = wait_until("the box's text on the editor's output", said, 5)
        self.s.run(["xdotool", "windowfocus", "--sync", box])
        time.sleep(0.3)
        self.s.run(["xdotool", "key", "--clearmodifiers", keys])
        dialogs.wait_gone(box, self.s.env)
        return text

    def no_box(self, after):
        time.sleep(0.3)
        if self.boxes():
            raise Failure("a message box is open after " + after)


def main():
    editor, devsim = sys.argv[1], sys.argv[2]
    if "JACK_DEFAULT_SERVER" not in os.environ:
        print("librarian_e2e: run me under scripts/with-jack.sh", file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="orq-librarian-")
    log = os.path.join(work, "devsim.log")
    session = Session(work)
    # The owner's folders, inside the test's own; the desktop's file manager is a stand-in that
    # notes what it was asked to show.
    data, config = os.path.join(work, "data"), os.path.join(work, "config")
    backups = os.path.join(data, "orq-editor", "backups")
    opened = os.path.join(work, "opened")
    fake = os.path.join(work, "file-manager")
    with open(fake, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" >> %s\n" % opened)
    os.chmod(fake, 0o755)
    os.makedirs(os.path.join(data, "applications"))
    with open(os.path.join(data, "applications", "file-manager.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Files\nExec=%s %%u\n"
                "MimeType=inode/directory;\n" % fake)
    os.makedirs(config)
    with open(os.path.join(config, "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\ninode/directory=file-manager.desktop\n")
    session.env.update(XDG_DATA_HOME=data, XDG_CONFIG_HOME=config)
    ok = False
    try:
        session.start_xvfb()
        devsim_proc = session.start("devsim", [devsim, "--model", "1", "--log", log,
                                               "--settings-seed", SEED])
        editor_proc = session.start("editor", [editor])
        wait_until("the connect sequence",
                   lambda: sum(1 for n, _ in received(log) if n == "READ_SLOT_NAME") >= 6, 30)
        window = find_window(session)[0]
        time.sleep(0.5)
        e = Editor(session, window, log)
        w = lambda h: [("WRITE_SETTINGS", h)]
        # Program 0 as the device holds it, and after a PRESENCE click (channel 1 steps 1-2-3).
        start_bytes = as_write(dumps_sent(log)[0])
        clicked = bytearray(start_bytes)
        clicked[12] = clicked[12] & 0xF0 | {1: 2, 2: 3, 3: 1}[clicked[12] & 0x0F]
        START, PRESENCE = hexbytes(start_bytes), hexbytes(clicked)

        # Undo and redo, by key and by menu; a greyed Undo is skipped by the keyboard.
        e.expect("PRESENCE click", lambda: click(session, window, PRESENCE_CH1), w(PRESENCE))
        e.expect("Ctrl+Z undoes it", lambda: e.key("ctrl+z"), w(START))
        e.expect("Ctrl+Shift+Z redoes it", lambda: e.key("ctrl+shift+z"), w(PRESENCE))
        e.expect("menu: Undo PRESENCE", lambda: e.menu(UNDO), w(START))
        e.expect("Ctrl+Y redoes it", lambda: e.key("ctrl+y"), w(PRESENCE))
        e.expect("Ctrl+Z again", lambda: e.key("ctrl+z"), w(START))
        e.expect("menu: Undo greyed, first entry is Redo", lambda: e.menu(UNDO), w(PRESENCE))
        e.expect_nothing("Ctrl+Y with nothing to redo", lambda: e.key("ctrl+y"))

        # Save program: the file is the program's one settings message.
        saved = os.path.join(work, "mine.syx")
        e.expect_nothing("Ctrl+S, Save program", lambda: (
            e.key("ctrl+s"),
            dialogs.choose(saved, session.env, titles=("Save",), location_key="ctrl+a")))
        with open(saved, "rb") as f:
            if hexbytes(f.read()) != PRESENCE:
                raise Failure("the program file holds something else than " + PRESENCE)
        e.no_box("Save program")
        print("ok %-40s %s" % ("the program file", PRESENCE))

        # Open program: a file of program 77, into program 0, the MIDI channel kept; one step.
        other = os.path.join(work, "other.syx")
        block = "01 01 01 00 02 00 01 13 31 12 03 01"
        with open(other, "wb") as f:
            f.write(bytes.fromhex("f0 00 01 4d 05 " + block + " f7"))
        e.expect("Ctrl+O, Open program", lambda: (
            e.key("ctrl+o"), dialogs.choose(other, session.env, titles=("Open",))),
            w("f0 00 01 00 %02x %s f7" % (start_bytes[4], block)))
        e.no_box("Open program")
        e.expect("Ctrl+Z undoes the opened program", lambda: e.key("ctrl+z"), w(PRESENCE))

        # A refused file: the message box saying why, and nothing sent.
        bad = os.path.join(work, "bad.syx")
        with open(bad, "wb") as f:
            f.write(bytes.fromhex("f0 41 10 42 12 f7"))
        e.expect_nothing("menu: Open program, a bad file", lambda: (
            e.menu(OPEN), dialogs.choose(bad, session.env, titles=("Open",)),
            e.answer_box("Return", says="bad.syx is not a program file: it is 6 bytes long; a "
                                        "program file is one 18-byte settings message. Nothing "
                                        "was sent.")))

        # Back up all programs: each program of the file is what the device held.
        backup = os.path.join(work, "all.syx")
        reads = [("READ_SETTINGS", "f0 00 02 %02x f7" % p) for p in range(128)]
        dumps_before = len(dumps_sent(log))
        e.expect("menu: Back up all programs", lambda: (
            e.menu(BACKUP),
            dialogs.choose(backup, session.env, titles=("Save",), location_key="ctrl+a")),
            reads, settle=1.0, timeout=60)
        e.no_box("the backup")
        with open(backup, "rb") as f:
            data = bytearray(f.read())
        backup_bytes = bytes(data)
        if len(set(bytes(data[p * 18 + 5:p * 18 + 17]) for p in range(128))) < 100:
            raise Failure("the device's programs are too much alike for this test")
        check_holds("the backup file", log, dumps_before, bytes(data))

        # Restore: Cancel sends nothing; a changed copy, after Restore (Alt+R), is what the
        # device holds when it is read back.
        e.expect_nothing("menu: Restore, Cancel", lambda: (
            e.menu(RESTORE), dialogs.choose(backup, session.env, titles=("Open",)),
            e.answer_box("Escape")))
        data[5 * 18 + 12] = data[5 * 18 + 12] & 0xF0 | (data[5 * 18 + 12] & 0x0F) % 3 + 1
        changed = os.path.join(work, "changed.syx")
        with open(changed, "wb") as f:
            f.write(data)
        writes = [("WRITE_SETTINGS", hexbytes(data[p * 18:p * 18 + 18])) for p in range(128)]
        dumps_before = len(dumps_sent(log))
        e.expect("menu: Restore, Alt+R", lambda: (
            e.menu(RESTORE), dialogs.choose(changed, session.env, titles=("Open",)),
            e.answer_box("alt+r")), reads + writes + reads, settle=1.0, timeout=60)
        # First the device's own programs into a safety backup, then the file's read back.
        check_holds("the programs kept first", log, dumps_before, backup_bytes, 128)
        check_holds("the restored programs", log, dumps_before + 128, bytes(data))
        told = e.answer_box("Return", says="All 128 programs were restored from changed.syx. "
                                           "The programs before it are in ...")
        check_safety_backup(backups, [], told, backup_bytes)
        e.no_box("the restore")
        e.expect_nothing("the history went with the restore", lambda: e.key("ctrl+z"))

        # The menu shows the backups folder in the desktop's file manager (here a stand-in).
        # (Undo and Redo are greyed now, and the keyboard skips them.)
        e.expect_nothing("menu: Open the backups folder", lambda: e.menu(FOLDER - 2))
        wait_until("the file manager's start", lambda: os.path.exists(opened), 10)
        with open(opened) as f:
            shown = f.read().split()
        if shown not in ([backups], ["file://" + urllib.parse.quote(backups)]):
            raise Failure("the file manager was given %s" % shown)
        print("ok %-40s %s" % ("the file manager shows", shown[0]))
        session.check_running()
        # Closed after its menus were shown, the editor ends cleanly: GTK destroys the last
        # menu with the window, and nothing may touch it after that.
        editor_proc.terminate()
        editor_proc.wait(timeout=10)
        with open(os.path.join(work, "editor.out"), errors="replace") as f:
            said = f.read()
        if "CRITICAL" in said:
            raise Failure("the editor, closing, said:\n" + said[-800:])

        # orq-editor FILE.syx, started before the device is there: once it is connected, the
        # program file goes into the program shown, as Open program puts it.
        devsim_proc.terminate()
        devsim_proc.wait(timeout=10)
        given = session.start("editor-given", [editor, other])
        time.sleep(1.0)
        log2 = os.path.join(work, "devsim2.log")
        session.start("devsim2", [devsim, "--model", "1", "--log", log2])
        wait_until("the given file opened", lambda: [m for m in received(log2)
                                                     if m[0] == "WRITE_SETTINGS"], 30)
        opened = [h for n, h in received(log2) if n == "WRITE_SETTINGS"]
        if opened != ["f0 00 01 00 01 %s f7" % block]:
            raise Failure("the given file sent %s" % opened)
        print("ok %-40s %s" % ("orq-editor other.syx", opened[0]))
        given.terminate()
        given.wait(timeout=10)
        ok = True
    except (Failure, dialogs.DialogError) as ex:
        print("FAIL: %s" % ex, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report_failure("librarian_e2e", ("devsim.log", "editor.out", "xvfb.out"),
                                   3000)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
