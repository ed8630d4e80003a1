#!/usr/bin/env python3
"""End-to-end test of the IR work: the real orq-editor under Xvfb against orq-devsim on a
private JACK server, clicked with xdotool, its file dialogs answered by typing a path as a
person would (Ctrl+L, the path, Return). Opens a slot's browser, SELECTs a factory IR, turns
AUDITION on and steps to the next one, imports a WAV file from a folder whose name holds é, 一
and spaces, and EXTRACTs ALL into another such folder. The simulator's log must show exactly
the transfers expected, and the exported files must be the factory IRs.

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh tests/e2e/ir_e2e.py ORQ_EDITOR ORQ_DEVSIM [OUT_DIR]
"""

import math
import os
import shutil
import struct
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dialogs  # noqa: E402
from panel_e2e import Failure, Session, click, find_window, received, screenshot, wait_until  # noqa: E402

# Panel positions at the start size 1024 x 740.
PLUS_SLOT_1 = (237, 155)     # "+" of channel 1, slot 1 (wire slot 0)
FOLDER_SLOT_5 = (215, 495)   # folder icon of channel 2, slot 2 (wire slot 4)
BROWSER_NEXT = (486, 20)
SELECT = (434, 698)
AUDITION = (400, 665)
EXTRACT_ALL = (315, 698)

ENTRY_1 = "4X12 CLOSED BLEND"  # the factory IRs' names, as the device stores them
ENTRY_2 = "2X12 OPEN EDGE"
FULL_READ = ["IDENTIFY", "READ_SETTINGS"] + ["READ_SLOT_NAME"] * 6


def write_wav(path, rate=44100, frames=3000):
    """A stereo 16-bit file: 50 quiet frames, then a decaying tone on the left channel."""
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        data = bytearray()
        for i in range(frames):
            left = 0 if i < 50 else int(29000 * math.exp(-i / 400.0) * math.sin(i * 0.3))
            data += struct.pack("<hh", left, left // 3)
        w.writeframes(bytes(data))


def names(log, since):
    return [n for n, _ in received(log)[since:]]


def uploaded_image(log, since, chunks):
    """The IR file image that `chunks` IR_CHUNKs from `since` carried, cut to the commit's size."""
    image = bytearray()
    for _, text in received(log)[since:since + chunks]:
        m = bytes.fromhex(text)
        offset = (m[3] << 12) | (m[4] << 8) | (m[5] << 4) | m[6]
        data = bytes((m[i] << 4) | m[i + 1] for i in range(7, 519, 2))
        image[offset:offset + len(data)] = data
    commit = bytes.fromhex(received(log)[since + chunks][1])
    size = (commit[4] << 12) | (commit[5] << 8) | (commit[6] << 4) | commit[7]
    return bytes(image[:size])


def transfer(log, since, chunks, slot, name):
    """Waits for one upload and the read that follows it; checks chunks, slot and name. Returns
    where the log goes on and the image the device received."""
    want = ["IR_CHUNK"] * chunks + ["END_TRANSFER"] + FULL_READ
    wait_until("an upload of %d chunks into slot %d" % (chunks, slot),
               lambda: len(received(log)) >= since + len(want), 30)
    got = names(log, since)
    if got != want:
        raise Failure("expected %d chunks, the commit and a read; got %s" % (chunks, got))
    commit = bytes.fromhex(received(log)[since + chunks][1])
    field = commit[8:72].rstrip(b"\0").decode("ascii")
    if commit[3] != slot or field != name:
        raise Failure("commit into slot %d as %r, expected slot %d as %r"
                      % (commit[3], field, slot, name))
    print("ok upload of %d chunks into slot %d as %r" % (chunks, slot, name))
    return since + len(want), uploaded_image(log, since, chunks)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    editor, devsim = sys.argv[1], sys.argv[2]
    out_dir = sys.argv[3] if len(sys.argv) > 3 else None
    if "JACK_DEFAULT_SERVER" not in os.environ:
        print("ir_e2e: run me under scripts/with-jack.sh", file=sys.stderr)
        return 2

    work = tempfile.mkdtemp(prefix="orq-ir-e2e-")
    log = os.path.join(work, "devsim.log")
    session = Session(work)
    ok = False
    try:
        # What the user picks: a WAV file and an export folder, both under odd names.
        source = os.path.join(work, "IRs é 一")
        os.mkdir(source)
        wav = os.path.join(source, "My Cab é 一.wav")
        write_wav(wav)
        export = os.path.join(work, "out é 一")
        os.mkdir(export)

        session.start_xvfb()
        env = session.env
        env["HOME"] = work  # the dialogs open in the home folder
        env["GSETTINGS_BACKEND"] = "memory"  # the file chooser keeps its settings in memory
        session.start("devsim", [devsim, "--model", "0", "--log", log])
        proc = session.start("editor", [editor])
        wait_until("the connect sequence", lambda: names(log, 0).count("READ_SLOT_NAME") >= 6, 30)
        window = find_window(session)[0]
        time.sleep(0.5)
        at = len(received(log))

        # The browser of slot 1, the next factory IR, SELECT.
        click(session, window, PLUS_SLOT_1)
        click(session, window, BROWSER_NEXT)
        click(session, window, SELECT)
        at, image_1 = transfer(log, at, 65, 0, ENTRY_1)
        time.sleep(0.3)

        # AUDITION: every new choice goes to the slot at once (entry 2 has 2396 samples).
        click(session, window, AUDITION)
        click(session, window, BROWSER_NEXT)
        at, image_2 = transfer(log, at, 38, 0, ENTRY_2)
        time.sleep(0.3)
        click(session, window, AUDITION)

        # A WAV file of the user's into slot 5 (wire slot 4), chosen by typing its path.
        click(session, window, FOLDER_SLOT_5)
        dialogs.choose(wav, env=env, pid=proc.pid)
        # 2950 frames after the quiet lead-in give trunc(48000 / 44100 * 2950) = 3210 samples:
        # an image of 12884 bytes, 51 chunks. The name keeps no byte outside ASCII.
        at, _ = transfer(log, at, 51, 4, "MY CAB ? ?")
        time.sleep(0.3)

        # EXTRACT ALL into the folder typed in the folder dialog: nothing goes to the device.
        click(session, window, EXTRACT_ALL)
        dialogs.choose(export, env=env, pid=proc.pid)
        files = wait_until("18 exported files", lambda: len(os.listdir(export)) == 18 and
                           sorted(os.listdir(export)), 10)
        sizes = sorted({os.path.getsize(os.path.join(export, f)) for f in files})
        if sizes != [9628, 16428, 39980]:
            raise Failure("exported sizes %s" % sizes)
        for f in files:
            with open(os.path.join(export, f), "rb") as h:
                head = h.read(44)
            if head[:4] != b"RIFF" or head[8:16] != b"WAVEfmt " or head[20:22] != b"\x03\x00":
                raise Failure("%s is not a float WAV file" % f)
        # The files hold what the uploads sent: the same image, reached by another road.
        for entry, image in ((ENTRY_1, image_1), (ENTRY_2, image_2)):
            with open(os.path.join(export, entry + ".wav"), "rb") as h:
                if h.read() != image:
                    raise Failure("%s.wav is not the image its upload sent" % entry)
        if len(received(log)) != at:
            raise Failure("the export sent %s" % names(log, at))
        print("ok EXTRACT ALL wrote 18 files")

        session.check_running()
        shot = os.path.join(out_dir or work, "e2e_ir.png")
        screenshot(session, shot)
        print("ok screenshot %s" % shot)
        ok = True
    except (Failure, dialogs.DialogError) as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report_failure("ir_e2e", ("devsim.log", "editor.out", "devsim.out"), 3000)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
