#!/usr/bin/env python3
"""The setup program as a Windows owner meets it, in a fresh Wine prefix: a silent install for
the current user (/S) puts the files, the Start menu shortcut, the Add/Remove Programs entry and
the .syx file type in place, all as the portable zip holds them; the editor started through the
registered .syx command with a program file (named outside the ANSI code page) connects through
the tests' MIDI driver and opens the file (the connect sequence and the file's settings checked
byte for byte); the silent uninstall then leaves nothing of the program, and an owner's files
(a program file saved into the program's folder, a backup in Documents, the editor's safety
backups) and another program's claim on .syx made since the install are left as they were.

What Wine cannot show: its shell looks a file type up in HKLM's classes only, so the per-user
type (HKCU\\Software\\Classes, as Windows reads it) is not found by `start` or ShellExecute;
the registered command is read from the registry and run as the shell would run it.

Usage (scripts/with-jack.sh provides the JACK server):
    scripts/with-jack.sh setup_e2e.py WINE_RUN SETUP.exe PORTABLE.zip DRIVER.drv DEVSIM BRIDGE \\
        WM_CLOSE PREFIX
PREFIX is made afresh on every run (and its Wine server stopped at the end).
"""

import os
import re
import shutil
import signal
import sys
import tempfile
import time
import zipfile

import midi_e2e as e2e
from panel_e2e import Failure

INSTALL_DIR = ("AppData", "Local", "Programs", "ORQ Editor")
SHORTCUT = ("AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
            "ORQ Editor.lnk")
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik ORQ Editor"
PROG_ID = "Tarvik.OrqEditor.syx"
CLASSES = r"HKCU\Software\Classes"
PROGRAM_FILE = bytes.fromhex("f0 00 01 4d 05 %s f7" % e2e.PROGRAM_BLOCK)


def reg_query(session, wine_run, key):
    """{value name: data} of a key ("" for its default), or None when there is no such key."""
    r = session.run([wine_run, "reg", "query", key], timeout=60)
    if r.returncode != 0:
        return None
    values = {}
    for line in r.stdout.splitlines():
        m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
        if m:
            name = "" if m.group(1) == "(Default)" else m.group(1)
            values[name] = m.group(3)
    return values


def listing(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else None


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    if len(sys.argv) != 9 or "JACK_DEFAULT_SERVER" not in os.environ:
        print(__doc__, file=sys.stderr)
        return 2
    wine_run, setup, portable, driver, devsim, bridge, wm_close, prefix = sys.argv[1:]
    prefix = os.path.abspath(prefix)
    shutil.rmtree(prefix, ignore_errors=True)
    work = tempfile.mkdtemp(prefix="orq-setup-")
    log = os.path.join(work, "devsim.log")
    session = e2e.Session(work, prefix)
    # Wine links the prefix's user folders to the home folder's: a home of the test's own.
    session.env["HOME"] = os.path.join(work, "home")
    os.mkdir(session.env["HOME"])
    ok = False
    try:
        if not session.env.get("DISPLAY"):
            session.env["DISPLAY"] = e2e.dialogs.start_xvfb(
                lambda args, fds: session.start("xvfb", args, pass_fds=fds), 1280, 1024)
        e2e.setup_prefix(session, wine_run, driver)  # makes the prefix
        users = os.path.join(prefix, "drive_c", "users")
        home = os.path.join(users, next(u for u in os.listdir(users) if u != "Public"))
        install = os.path.join(home, *INSTALL_DIR)
        shortcut = os.path.join(home, *SHORTCUT)
        documents = os.path.join(home, "Documents")
        os.makedirs(documents, exist_ok=True)
        backup = os.path.join(documents, "My backup.syx")
        with open(backup, "wb") as f:
            f.write(PROGRAM_FILE * 128)

        started = time.monotonic()
        r = session.run([wine_run, setup, "/S"], timeout=120)
        if r.returncode != 0:
            raise Failure("the silent install ended with status %d: %s" % (r.returncode, r.stderr))
        with zipfile.ZipFile(portable) as z:
            packed = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}
        if listing(install) != sorted(list(packed) + ["Uninstall.exe"]):
            raise Failure("installed %s, the portable zip holds %s" % (listing(install),
                                                                       sorted(packed)))
        for name, data in packed.items():
            with open(os.path.join(install, name), "rb") as f:
                if f.read() != data:
                    raise Failure("the installed %s is not the portable zip's" % name)
        if not os.path.isfile(shortcut):
            raise Failure("no Start menu shortcut at %s" % shortcut)
        print("ok silent install in %.1f s: %s, the shortcut" % (time.monotonic() - started,
                                                                 ", ".join(listing(install))))

        entry = reg_query(session, wine_run, UNINSTALL_KEY) or {}
        win_install = entry.get("InstallLocation", "")
        want = {"DisplayName": "ORQ Editor", "DisplayVersion": "0.9.0", "Publisher": "Tarvik",
                "DisplayIcon": win_install + "\\orq-editor.exe,0",
                "UninstallString": '"%s\\Uninstall.exe"' % win_install,
                "QuietUninstallString": '"%s\\Uninstall.exe" /S' % win_install}
        got = {k: entry.get(k) for k in want}
        size_kb = sum(os.path.getsize(os.path.join(install, n)) for n in listing(install)) // 1024
        if not win_install.endswith("\\AppData\\Local\\Programs\\ORQ Editor") or got != want or \
                abs(int(entry.get("EstimatedSize", "0"), 16) - size_kb) > 8:
            raise Failure("the Add/Remove entry holds %s" % entry)
        print("ok the Add/Remove entry: %s %s by %s, %s KiB" % (
            got["DisplayName"], got["DisplayVersion"], got["Publisher"], size_kb))

        command = (reg_query(session, wine_run, CLASSES + "\\" + PROG_ID + r"\shell\open\command")
                   or {}).get("")
        syx = reg_query(session, wine_run, CLASSES + r"\.syx") or {}
        if command != '"%s\\orq-editor.exe" "%%1"' % win_install or syx.get("") != PROG_ID:
            raise Failure(".syx is %s, its command %s" % (syx, command))
        print("ok .syx opens with %s" % command)

        # The editor as the shell starts it for a .syx file, through the tests' MIDI driver.
        given = os.path.join(documents, "Programm \u00e4\u03a9.syx")
        with open(given, "wb") as f:
            f.write(PROGRAM_FILE)
        session.start("devsim", [devsim, "--model", "1", "--name", e2e.DEVICE_NAME, "--log", log],
                      env=dict(session.env, ORQ_MIDI_API="jack"))
        port_file = os.path.join(work, "bridge.port")
        session.start("bridge", [bridge, port_file])
        session.env["ORQ_MIDI_BRIDGE_PORT"] = e2e.wait_until(
            "the bridge", lambda: os.path.exists(port_file) and open(port_file).read().strip(),
            10, session.check_running)
        exe, argument = re.findall(r'"([^"]*)"', command)
        editor = e2e.Editor(session, wine_run, exe, wm_close, log,
                            args=[argument.replace("%1", e2e.wine_path(given))])
        # Once connected, the file goes into the program shown, the MIDI channel kept.
        opened = ("WRITE_SETTINGS", "f0 00 01 00 01 %s f7" % e2e.PROGRAM_BLOCK)
        took = editor.connect(e2e.CONNECT + [opened])
        print("ok the installed editor, started by the .syx command, connected in %.1f s and "
              "opened the file: %s" % (took, opened[1]))
        editor.close()

        # The owner's program file saved beside the programs, and another program's claim on
        # .syx since the install: both outlive the uninstall.
        mine = os.path.join(install, "mine.syx")
        with open(mine, "wb") as f:
            f.write(PROGRAM_FILE)
        # What the editor keeps: its safety backups, beside the programs' folder.
        safety = os.path.join(home, "AppData", "Local", "ORQ Editor", "Backups",
                              "2026-01-02 03.04 before restore.syx")
        os.makedirs(os.path.dirname(safety))
        with open(safety, "wb") as f:
            f.write(PROGRAM_FILE * 128)
        r = session.run([wine_run, "reg", "add", CLASSES + r"\.syx", "/ve", "/d", "Other.syx",
                         "/f"], timeout=60)
        if r.returncode != 0:
            raise Failure("reg add: %s" % r.stderr)
        started = time.monotonic()
        uninstaller, = re.findall(r'"([^"]*)"', entry["QuietUninstallString"])
        r = session.run([wine_run, uninstaller, "/S"], timeout=60)
        if r.returncode != 0:
            raise Failure("the silent uninstall ended with status %d" % r.returncode)
        # The uninstaller runs on from a copy of itself in the temporary folder.
        e2e.wait_until("the uninstall", lambda: listing(install) == ["mine.syx"] and
                       not os.path.exists(shortcut), 60)
        time.sleep(1)
        left = {key: reg_query(session, wine_run, key)
                for key in (UNINSTALL_KEY, CLASSES + "\\" + PROG_ID, CLASSES + r"\.syx")}
        if left != {UNINSTALL_KEY: None, CLASSES + "\\" + PROG_ID: None,
                    CLASSES + r"\.syx": {"": "Other.syx"}} or \
                reg_query(session, wine_run, CLASSES + r"\.syx\OpenWithProgids") is not None:
            raise Failure("after the uninstall the registry holds %s" % left)
        for kept in (backup, safety):
            with open(kept, "rb") as f:
                if f.read() != PROGRAM_FILE * 128:
                    raise Failure("the uninstall changed the owner's %s" % kept)
        print("ok silent uninstall in %.1f s: files, shortcut, entry and file type gone; the "
              "owner's files and the other program's .syx claim kept" %
              (time.monotonic() - started))
        ok = True
    except (Failure, e2e.dialogs.DialogError, StopIteration) as e:
        print("FAIL: %s" % e, file=sys.stderr)
    finally:
        session.stop()
        if not ok:
            session.report(("devsim.log", "editor.out", "bridge.out"))
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
