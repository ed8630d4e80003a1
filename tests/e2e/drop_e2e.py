#!/usr/bin/env python3
"""Files dragged onto the real orq-editor under Xvfb, as a file manager drags them (xdnd_drag,
an XDND source), against orq-devsim on a private JACK server. Over a slot row the row's folder
icon lights up; a WAV file dropped there arrives in that slot byte for byte as the folder
icon's import of the same file sends it; a drop while the device is busy (the folder icon's
dialog open) is refused; a file that is not a WAV is taken from the drag but nothing is sent,
and the panel takes the next drop (in the file://host/ form).

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh tests/e2e/drop_e2e.py ORQ_EDITOR ORQ_DEVSIM XDND_DRAG
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dialogs  # noqa: E402
import ir_e2e  # noqa: E402
from panel_e2e import Failure, Session, click, find_window, pixel, received, screenshot, wait_until  # noqa: E402


def row(slot):
    """A point in the middle of user slot `slot`'s row (0..5), left of its icons."""
    return 100, (41 if slot < 3 else 354) + 99 + 31 * (slot % 3) + 15


def uri(path, host=""):
    return "file://%s%s" % (host, urllib.parse.quote(path))


def drag(session, xdnd, window, point, uris, hover=False):
    """One drag onto the window; returns what xdnd_drag printed (and for `hover`, the running
    process, which leaves once its input is closed)."""
    args = [xdnd, window, str(point[0]), str(point[1]), "\r\n".join(uris) + "\r\n"]
    if hover:
        proc = subprocess.Popen(args + ["hover"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                text=True, env=session.env)
        return proc.stdout.readline().split(), proc
    r = subprocess.run(args, capture_output=True, text=True, env=session.env, timeout=30)
    if r.returncode != 0:
        raise Failure("xdnd_drag: status %d: %s" % (r.returncode, r.stderr))
    return r.stdout.split()


def folder_brightness(raw, wx, wy, slot):
    """The brightest grey of slot `slot`'s folder icon (0x50 idle, 0xBE hovered)."""
    _, y = row(slot)
    return max(pixel(raw, wx + x, wy + y + dy) & 0xFF
               for x in range(206, 226) for dy in range(-10, 11))


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    editor, devsim, xdnd = sys.argv[1:]
    if "JACK_DEFAULT_SERVER" not in os.environ:
        print("drop_e2e: run me under scripts/with-jack.sh", file=sys.stderr)
        return 2

    work = tempfile.mkdtemp(prefix="orq-drop-e2e-")
    log = os.path.join(work, "devsim.log")
    session = Session(work)
    ok = False
    try:
        source = os.path.join(work, "IRs é 一 %20")
        os.mkdir(source)
        wav = os.path.join(source, "My Cab é 一.wav")
        ir_e2e.write_wav(wav)
        other = os.path.join(source, "second.wav")
        ir_e2e.write_wav(other, frames=500)
        notes = os.path.join(source, "notes.wav")
        with open(notes, "w") as f:
            f.write("not a wave file\n")

        session.start_xvfb()
        env = session.env
        env["HOME"] = work
        env["GSETTINGS_BACKEND"] = "memory"
        session.start("devsim", [devsim, "--model", "0", "--log", log])
        proc = session.start("editor", [editor])
        wait_until("the connect sequence",
                   lambda: [n for n, _ in received(log)].count("READ_SLOT_NAME") >= 6, 30)
        window, wx, wy, _, _ = find_window(session)
        time.sleep(0.5)
        at = len(received(log))

        # Held over slot 2's row: its folder icon lit, slot 1's not.
        answer, holder = drag(session, xdnd, window, row(1), [uri(wav)], hover=True)
        try:
            if answer != ["status", "1"]:
                raise Failure("over slot 2's row the editor answered %s" % answer)
            time.sleep(0.5)
            raw = screenshot(session, os.path.join(work, "hover.png"))
        finally:
            holder.communicate(timeout=30)
        lit, unlit = folder_brightness(raw, wx, wy, 1), folder_brightness(raw, wx, wy, 0)
        if lit < 0xB0 or unlit > 0x60:
            raise Failure("folder icons while dragging: slot 2 %02x, slot 1 %02x" % (lit, unlit))
        print("ok the row under the drag shows its hover look")

        # Dropped on slot 2 (wire slot 1): the first of two files, under an escaped path.
        answer = drag(session, xdnd, window, row(1), [uri(wav), uri(other)])
        if answer != ["status", "1", "finished", "1"]:
            raise Failure("drop on slot 2: %s" % answer)
        at, dropped = ir_e2e.transfer(log, at, 51, 1, "MY CAB ? ?")
        time.sleep(0.3)

        # While the folder icon's dialog is open the device is busy: a drop is refused. Then
        # the same file through the dialog into slot 5 (wire slot 4) sends the same image.
        click(session, window, ir_e2e.FOLDER_SLOT_5)
        dialogs.wait_for_dialog(env=env, pid=proc.pid)
        answer = drag(session, xdnd, window, row(2), [uri(wav)])
        if answer != ["status", "0"]:
            raise Failure("a drop while busy: %s" % answer)
        dialogs.choose(wav, env=env, pid=proc.pid)
        at, chosen = ir_e2e.transfer(log, at, 51, 4, "MY CAB ? ?")
        if chosen != dropped:
            raise Failure("the dropped file's image differs from the folder icon's import")
        print("ok a drop while busy is refused; the drop sent what the folder icon sends")
        time.sleep(0.3)

        # A file that is not a WAV file: nothing sent, and the panel takes the next drop.
        answer = drag(session, xdnd, window, row(0), [uri(notes)])
        if answer != ["status", "1", "finished", "1"]:
            raise Failure("drop of a text file: %s" % answer)
        time.sleep(1.5)
        if len(received(log)) != at:
            raise Failure("the text file sent %s" % [n for n, _ in received(log)[at:]])
        answer = drag(session, xdnd, window, row(5), [uri(other, "localhost")])
        if answer != ["status", "1", "finished", "1"]:
            raise Failure("drop on slot 6: %s" % answer)
        at, _ = ir_e2e.transfer(log, at, 8, 5, "SECOND")
        print("ok a text file sends nothing; the next drop goes to slot 6")

        session.check_running()
        ok = True
    except (Failure, dialogs.DialogError, subprocess.TimeoutExpired) as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report_failure("drop_e2e", ("devsim.log", "editor.out", "devsim.out"), 3000)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
