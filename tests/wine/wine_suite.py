#!/usr/bin/env python3
"""End-to-end scenarios of the Windows package (sfx-stub.exe) under Wine."""
# Each scenario makes its packages with sfx-pack (damaged ones, an encrypted entry and
# names the stub must refuse are written here record by record), places them in the Wine
# prefix under a path with spaces, runs them through the driver program and checks the
# driver's log (the message boxes, the wait window, the exit code, the processes started)
# and the files the package left in the prefix. The environment (Xvfb, the booted prefix) is brought up once
# per test run by scripts/wine-env.sh; its state directory is given with --state.
#
# Every run packs the same bytes: the incompressible parts come from seeded generators.
#
# The system's own texts are compared as Windows-1252 bytes. Windows paths are
# Windows-1252 bytes, or text (str) where they hold characters outside that code page;
# Wine keeps the prefix's file names in UTF-8.

import argparse
import calendar
import dataclasses
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import zlib

SKIP = 77

# --- texts the package shows -------------------------------------------------------

CAPTION = b"Velmora Software"
WAIT_TITLE = b"Velmora Software "
WAIT_TEXT = b"Iniciando el asistente para la instalaci\xf3n.\rEspere un momento..."
COMPLETED = b"Instalaci\xf3n completada en\r\r"
UNKNOWN_METHOD = b"Compresi\xf3n desconocida.\r\rArchivo da\xf1ado.\r\rError #SFXMCD#"
DAMAGED_ENTRY = b"Archivo da\xf1ado.\r\rError #SFXCRC#"
BAD_NAME = b"Error al extraer el nombre de un componente.\r\rError #SFXENC#"
OPEN_FAILED = b"Error al abrir el archivo\r\rError #SFXEAA#"
WRITE_FAILED = b"Error al escribir el archivo\r\rError #SFXEEA#"
# The host launcher tests check this text in full; here its error code.
NO_TEMP_DIR = re.compile(rb"\A[^%]+\r\rError #SFXETD#\Z")
NOTHING_UNPACKED_WORDS = (b"No puedo reconstruir los archivos de instalaci\xf3n.\r\rNo puc reconstruir els arxius "
                          b"d'instal\xb7laci\xf3.\r\rCannot reconstruct installation archives.\r\r")


def start_failed(installer):
    # The box of a setup program that did not start: its path and the system's reason.
    return re.compile(rb"\ANo puedo ejecutar el programa de instalaci\xf3n\r\r" + re.escape(installer) +
                      rb"\r\r[^\r%]+\r\rError #SFXEJI#\Z")


# The fatal messages end in contact lines whose values are build settings: their shape
# (one line each, in these places) is checked, not their values.
NO_ARCHIVE = re.compile(
    rb"\AArchivo de instalaci\xf3n da\xf1ado\.\r\rArxiu d'instal\xb7laci\xf3 trencat\.\r\r"
    rb"Installation program is damaged\.\r\rE-mail: [^\r]+\r[^\r]+\r[^\r]+\r\rError #SFXAID#\Z")
NOTHING_UNPACKED = re.compile(rb"\A" + re.escape(NOTHING_UNPACKED_WORDS) + rb"[^\r]+\r[^\r]+\r\rError #SFXNRA#\Z")

# The wait window as the driver reads it: the template's style 0x80C80880, to which Wine
# adds WS_VISIBLE, WS_CLIPSIBLINGS and DS_3DLOOK, and the extended style of a modal-frame
# dialog (WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME); no button, one
# static control of id 0.
WAIT_WINDOW = {"class": b"#32770", "style": "0x94C80884", "exstyle": "0x00010101", "buttons": "0",
               "children": "1", "child0_class": b"Static", "child0_id": "0"}

# --- records written here: damaged packages and names the stub must refuse -------------

NOON_2025 = (2025, 1, 1, 12, 0, 0)  # the records' time: DOS time 0x6000, date 0x5A21


def deflate(data):
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)  # raw: no zlib header, as records hold it
    return packer.compress(data) + packer.flush()


@dataclasses.dataclass
class Entry:
    # One record; `data` (what follows the name) and `crc` default to the right values.
    name: bytes
    content: bytes = b""
    method: int = 8
    crc: int = None
    data: bytes = None
    flags: int = 0

    def encoded(self, first):
        crc = zlib.crc32(self.content) if self.crc is None else self.crc
        data = self.data if self.data is not None else deflate(self.content) if self.method == 8 else self.content
        # The first record's signature and version field are the marker the stub looks for.
        header = b"Vel\xdb" + struct.pack("<HHHHHIIIHH", 0x00FF if first else 20, self.flags, self.method, 0x6000,
                                           0x5A21, crc, len(data), len(self.content), len(self.name), 0)
        return header + self.name + data


def scramble(data):
    return bytes(b ^ 0xF0 for b in data)


def build_package(stub, entries):
    return stub + scramble(b"".join(e.encoded(i == 0) for i, e in enumerate(entries)))


def text(path):
    # A Windows path as text: Windows-1252 bytes decoded.
    return path.decode("cp1252") if isinstance(path, bytes) else path


def mtime_of(when):
    # The Unix time of a date and time read as UTC, as Wine sets it from a DOS date and time.
    return calendar.timegm(when + (0, 0, 0))


# --- packages made by sfx-pack ----------------------------------------------------------

def tool(command, **kwargs):
    # Runs a command the scenario needs; its failure ends the scenario.
    out = subprocess.run(command, capture_output=True, **kwargs)
    if out.returncode != 0:
        sys.exit(f"failed ({out.returncode}): {command}\n{out.stdout.decode(errors='replace')}"
                 f"{out.stderr.decode(errors='replace')}")


def write_files(top, files):
    # Writes `files` (name, "/"-separated bytes or text -> content, or (content, time))
    # under a fresh `top`; returns the top-level names in order.
    shutil.rmtree(top, ignore_errors=True)
    os.makedirs(top)
    for name, content in files.items():
        content, when = content if isinstance(content, tuple) else (content, NOON_2025)
        path = os.path.join(os.fsencode(top), os.fsencode(name))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        os.utime(path, (mtime_of(when),) * 2)
    return list(dict.fromkeys(os.fsencode(name).split(b"/")[0] for name in files))


def pack(s, files, *options, source="entrada"):
    # The package sfx-pack makes of `files` (as write_files takes them), given as their
    # top-level names; the times are read as UTC.
    names = write_files(os.path.join(s.work, source), files) if files is not None else []
    output = os.path.join(s.work, "paquete.exe")
    tool([s.args.sfx_pack, "--quiet", "create", "--stub", s.args.stub, "--output", output, *options, *names],
         cwd=os.path.join(s.work, source), env={**os.environ, "TZ": "UTC"})
    return open(output, "rb").read()


# --- driver log ----------------------------------------------------------------------

LINE = re.compile(rb"t=(\d+) (\S+) ?(.*)")
FIELD = re.compile(rb'(\w+)=(?:"([0-9A-F]*)"|(\S*))')  # texts come as hex digits in quotes


class Event(dict):
    # One log line "t=MS NAME key=value...": its fields, texts as bytes and others as text.
    def __init__(self, t, name, fields):
        super().__init__({m.group(1).decode(): bytes.fromhex(m.group(2).decode()) if m.group(2) is not None
                          else m.group(3).decode() for m in FIELD.finditer(fields)})
        self.t, self.name = int(t), name.decode()


class Run(list):
    def all(self, name):
        return [e for e in self if e.name == name]

    def first(self, name):
        return next(iter(self.all(name)), None)


# --- checks --------------------------------------------------------------------------

class Checks:
    def __init__(self):
        self.passed, self.failures = 0, []

    def expect(self, ok, what, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failures.append(what + (": " + detail if detail else ""))
            print("FAIL", what, detail, flush=True)
        return ok

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, what, f"got {actual!r}, expected {expected!r}")


# --- one scenario's surroundings -----------------------------------------------------

class Suite:
    def __init__(self, args, checks):
        self.args, self.c = args, checks
        # The environment's settings, which the wine_environment_up test writes.
        state = os.path.join(args.state, "env")
        self.env_vars = dict(line.rstrip("\n").partition("=")[::2] for line in open(state, encoding="utf-8"))
        self.prefix = self.env_vars["WINEPREFIX"]
        self.temp_dir = self.env_vars["WIN_TEMP"].encode("cp1252") + b"_I_\\"  # TempDir as the package composes it
        self.dest = self.unix_path(self.temp_dir)
        self.work = os.path.join(args.work, args.scenario)
        # Packages live in the prefix under a directory and a name with spaces.
        self.win_dir = b"C:\\sfx pruebas\\" + args.scenario.encode()
        self.dir = self.unix_path(self.win_dir)
        for fresh in (self.work, self.dir):
            shutil.rmtree(fresh, ignore_errors=True)
            os.makedirs(fresh)
        self.record_win = self.win_dir + b"\\registro.bin"
        self.record = self.unix_path(self.record_win)
        self.runs = 0
        self.stub, self.setup = (open(p, "rb").read() for p in (args.stub, args.setup))
        self.installer = self.temp_dir + b"SETUP.EXE"  # where the setup program is started
        self.completed = (CAPTION, COMPLETED + self.temp_dir)  # the box after a full extraction
        self.wait_title, self.wait_text = WAIT_TITLE, WAIT_TEXT  # a package's own texts may differ

    def unix_path(self, win):
        # C:\a\b (Windows-1252 bytes, or text) to the file in the prefix; Wine stores names as UTF-8.
        drive, rest = text(win)[0].lower(), text(win)[2:].replace("\\", "/").lstrip("/")
        return os.path.join(os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":")), rest)

    def dest_file(self, name):
        # The unpacked file of an entry name (Windows-1252 bytes, or text).
        return self.unix_path(text(self.temp_dir) + text(name).replace("/", "\\"))

    def wine_env(self, extra=None):
        return {**os.environ, "WINEPREFIX": self.prefix, "WINEARCH": "win32", "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree,mshtml=", "DISPLAY": self.env_vars["DISPLAY"],
                "SFX_WINE_RECORD": self.record_win.decode("cp1252"), **(extra or {})}

    def place(self, data, directory=None):
        # Writes a package into the prefix (the scenario's folder, or `directory`, text);
        # returns its Windows path.
        path = text(self.win_dir if directory is None else directory) + "\\paquete de prueba.exe"
        os.makedirs(os.path.dirname(self.unix_path(path)), exist_ok=True)
        with open(self.unix_path(path), "wb") as f:
            f.write(data)
        return path

    def clean(self):
        # Before a run: no destination directory, no record of an earlier run.
        shutil.rmtree(self.dest, ignore_errors=True)
        for leftover in (self.record, self.record + ".w", self.record + ".open"):
            if os.path.exists(leftover):
                os.remove(leftover)

    def run(self, package, driver_args=(), env=None, on_event=None, temp=None):
        # Runs a package through the driver, with `temp` (bytes or text) as TMP and TEMP;
        # on_event sees each log line as it comes.
        self.runs += 1
        log_path = os.path.join(self.work, f"driver-{self.runs}.log")
        if temp is not None:
            driver_args = [*driver_args, "--env", "TMP=" + text(temp), "--env", "TEMP=" + text(temp)]
        # The driver ends the package (and what it started) itself after 60 s.
        command = [self.args.wine, self.args.driver, *driver_args, text(package)]
        events = Run()
        with open(log_path, "wb") as log:
            process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL,
                                       cwd=self.dir, env=self.wine_env(env))
            for line in process.stdout:  # the log keeps each event with its texts decoded
                event = LINE.fullmatch(line.rstrip(b"\r\n"))
                if event:
                    events.append(Event(*event.groups()))
                    line = f"t={events[-1].t} {events[-1].name} {dict(events[-1])}\n".encode()
                    if on_event:
                        on_event(events[-1])
                log.write(line)
                log.flush()
            returncode = process.wait()
        print(f"run {self.runs}: {log_path}")
        self.c.equal(returncode, 0, "driver's result (3: time-out)")
        return events

    # --- expectations shared by the scenarios ---

    def expect_exit_zero(self, run):
        exit_event = run.first("exit")
        if self.c.expect(exit_event is not None, "package exited"):
            self.c.equal(int(exit_event["code"]), 0, "package exit code (all 32 bits)")
        self.c.equal(run.all("window"), [], "no other windows")

    def expect_boxes(self, run, expected):
        got = [(b["caption"], b["text"]) for b in run.all("box")]

        def matches(expected, actual):  # bytes, or a pattern that must match them whole
            return expected.match(actual) is not None if isinstance(expected, re.Pattern) else actual == expected
        ok = len(got) == len(expected) and all(
            matches(ec, gc) and matches(et, gt) for (ec, et), (gc, gt) in zip(expected, got))
        self.c.expect(ok, "message boxes (caption, text) in order",
                      f"got {got!r}, expected {[(c, getattr(t, 'pattern', t)) for c, t in expected]!r}")
        for b in run.all("box"):
            self.c.equal((b["owner"], b["buttons"]), ("0x00000000", "1"), "message box: no owner window, one button")

    def check_wait_window(self, w):
        self.c.equal({k: w.get(k) for k in WAIT_WINDOW}, WAIT_WINDOW, "wait window: class, styles, controls")
        self.c.equal((w["title"], w.get("child0_text")), (self.wait_title, self.wait_text),
                     "wait window title (padded with spaces) and text")
        self.c.expect(abs(int(w["dx2"])) <= 4 and abs(int(w["dy2"])) <= 4,
                      "wait window centred in the work area within 2 px",
                      f"twice the offset: {w['dx2']}, {w['dy2']}")

    def expect_files(self, files):
        # files: name (as dest_file takes it) -> expected content (bytes), or None for 'must not exist'.
        for name, content in files.items():
            path = self.dest_file(name)
            if content is None:
                self.c.expect(not os.path.exists(path), "not extracted: " + text(name))
            elif self.c.expect(os.path.isfile(path), "extracted: " + text(name)):
                self.c.expect(open(path, "rb").read() == content, "content of " + text(name))

    def expected_command_lines(self, installer, package, code_page="cp1252"):
        # The setup program's command line as GetCommandLineA and GetCommandLineW give it:
        # the package's path in the ANSI code page (its short form when it has characters
        # outside it) with each space as 0xAC, which the wide line shows as the character
        # the code page gives 0xAC (U+00AC in Windows-1252).
        installer, package = text(installer), text(package)
        quoted = '"' + installer + '"' if " " in installer else installer
        try:
            argument = package.encode(code_page)
        except UnicodeEncodeError:
            short = subprocess.run([self.args.wine, self.args.driver, "--print-short", package],
                                   capture_output=True, env=self.wine_env())
            argument = short.stdout.decode("utf-8").strip().encode(code_page)
        argument = argument.replace(b" ", b"\xac")
        return (quoted.encode(code_page, errors="replace") + b" " + argument,
                (quoted + " " + argument.decode(code_page)).encode())

    def expect_started(self, run, package, installer, size=None, code_page="cp1252"):
        # installer: the setup program's Windows path, or None when nothing may start;
        # size: the package's size, which the 8-bit argument must open; code_page: the
        # ANSI code page the package ran with.
        if installer is None:
            self.c.expect(not os.path.exists(self.record), "nothing started")
            return
        started = [p for p in run.all("process") if p["exe"].upper() == b"SETUP.EXE"]
        self.c.equal(len(started), 1, "setup program started once")
        if self.c.expect(os.path.exists(self.record), "setup program started (its record exists)"):
            line_a, line_w = self.expected_command_lines(installer, package, code_page)
            got_a = open(self.record, "rb").read()
            if b"?" in line_a:  # the program's own path outside the code page: its argument only
                line_a, got_a = line_a[line_a.rindex(b" "):], got_a[got_a.rfind(b" "):]
            self.c.equal(got_a, line_a, "setup program's command line (GetCommandLineA)")
            self.c.equal(open(self.record + ".w", "rb").read(), line_w, "setup program's command line (GetCommandLineW)")
            if size is not None:
                self.c.equal(open(self.record + ".open", "rb").read(), str(size).encode(),
                             "the 8-bit argument opens the package")

    def check_package(self, content, boxes, seen=None, files=None, installer=None, gone=(), directory=None,
                      code_page="cp1252", **run_args):
        # Places a package (a list of entries, or its bytes), runs it and checks what every
        # run of the real package must show: exit code 0 and no stray window, these message
        # boxes (caption, text) in order, the wait window (`seen`: True when it must show,
        # False when it must not, None when the extraction may be too short for the driver
        # to see it), the files unpacked (expect_files), the setup program started or not
        # (expect_started) with the package's path in `code_page`, and the paths in `gone`
        # not there after the run. The package goes in the scenario's folder or `directory`.
        data = build_package(self.stub, content) if isinstance(content, list) else content
        package = self.place(data, directory=directory)
        self.clean()
        run = self.run(package, **run_args)
        self.expect_exit_zero(run)
        if boxes is not None:  # None: the scenario checks them itself
            self.expect_boxes(run, boxes)
        windows = run.all("wait-window")
        if seen is not None:
            self.c.equal(bool(windows), seen, "wait window seen")
        for w in windows if code_page == "cp1252" else []:  # its texts read in another code page differ
            self.check_wait_window(w)
        self.expect_files(files or {})
        self.expect_started(run, package, installer, len(data), code_page)
        for path in gone:
            self.c.expect(not os.path.exists(path), "removed or never made: " + path)
        return run

    def files_outside_destination(self):
        # Every file of drive C: but the destination, the scenario's own files and Wine's.
        root = os.path.join(self.prefix, "drive_c")
        skip = {os.path.normpath(p) for p in (self.dest, self.dir, os.path.join(root, "windows"))}
        found = set()
        for top, dirs, names in os.walk(root):
            dirs[:] = [d for d in dirs if os.path.normpath(os.path.join(top, d)) not in skip]
            found.update(os.path.join(top, n) for n in names)
        return found


def created_names(top):
    # Every file and folder under `top`, relative, as the UTF-8 bytes Wine stored.
    top = os.fsencode(top)
    return sorted(os.path.relpath(os.path.join(t, n), top) for t, ds, fs in os.walk(top) for n in ds + fs)


# --- scenarios of the real package -----------------------------------------------------

def scenario_no_setup(s):
    # Stored and deflated files (sfx-pack stores what deflate does not shrink) with their times.
    files = {"leeme.txt": (b"Hola.\r\n", (2024, 2, 29, 23, 59, 58)),
             "datos/info.bin": (bytes(range(256)) * 400 + random.Random(1).randbytes(3000), (2010, 7, 4, 6, 30, 0)),
             "datos/sub/vacío.txt": (b"", (1999, 12, 31, 0, 0, 2)),
             "programa.exe": (b"lower case: not a setup program", NOON_2025)}
    s.check_package(pack(s, files), [s.completed], files={n: c for n, (c, _) in files.items()})
    for name, (_, when) in files.items():
        s.c.equal(int(os.stat(s.dest_file(name)).st_mtime), mtime_of(when), f"write time of {name}")


def scenario_no_marker(s):
    # The stub alone. (Where a broken marker is looked for is the host tests' concern.)
    s.check_package(s.stub, [(CAPTION, NO_ARCHIVE)], seen=False, gone=[s.dest])


def scenario_cancel_during_box(s):
    # A name ending in "/" makes a directory that cannot be opened as a file: the
    # "#SFXEAA#" box, during which the wait window is cancelled; the extraction goes on.
    entries = [Entry(b"uno.txt", b"uno"), Entry(b"carpeta/", b"", method=0),
               Entry(b"SETUP.EXE", s.setup), Entry(b"dos.txt", b"dos" * 1000)]
    run = s.check_package(entries, [(s.temp_dir + b"carpeta\\", OPEN_FAILED)], seen=True,
                          files={b"uno.txt": b"uno", b"dos.txt": b"dos" * 1000, b"SETUP.EXE": None},
                          installer=s.installer, driver_args=["--cancel-on-box", "1"])
    result = run.first("cancel-result")
    s.c.expect(result is not None and result["wait_window_gone"] == "1" and result["box_open"] == "1",
               "wait window closed while the box was still open", str(result))


def screenshot_colours(s, shot, event):
    # Distinct colours inside the static control's visible part of a screenshot.
    l, t, r, b = (int(v) for v in event["child0_rect"].split(","))
    cl, ct, cr, cb = (int(v) for v in event["client"].split(","))
    l, t, r, b = max(l, cl), max(t, ct), min(r, cr), min(b, cb)
    crop = os.path.join(s.work, "wait-window-text.png")
    out = subprocess.run(["convert", shot, "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage",
                          "-write", crop, "-format", "%k", "info:"], capture_output=True, text=True)
    s.c.expect(out.returncode == 0, "screenshot cropped", out.stderr)
    return int(out.stdout.strip() or 0)


def scenario_screenshot_long_extraction(s):
    # Many deflated files, a long extraction: the driver pauses once the wait window shows,
    # this runner photographs the screen, and the text area of the window must hold more
    # than its background colour. The files are links to one file: no disk is filled.
    block = (b"Velmora " * 64 + bytes(range(256))) * 512  # 384 KiB, compresses well
    count = max(1, int(os.environ.get("SFX_WINE_LONG_MB", "300")) * 1024 * 1024 // len(block))
    source = os.path.join(s.work, "largo")
    write_files(source, {"datos/parte0000.bin": block})
    for i in range(1, count):
        os.link(os.path.join(source, "datos", "parte0000.bin"), os.path.join(source, "datos", "parte%04d.bin" % i))
    data = pack(s, None, "--level", "1", "datos", source="largo")
    shot, ack = os.path.join(s.work, "wait-window.png"), s.win_dir + b"\\screenshot.ack"
    requests = []

    def on_event(event):
        if event.name == "screenshot-request":
            out = subprocess.run(["import", "-display", s.env_vars["DISPLAY"], "-window", "root", shot],
                                 capture_output=True, text=True)
            s.c.expect(out.returncode == 0, "screenshot taken", out.stderr)
            requests.append(event)
            open(s.unix_path(ack), "wb").close()

    last = "datos/parte%04d.bin" % (count - 1)
    run = s.check_package(data, [s.completed], seen=True, files={"datos/parte0000.bin": block, last: block},
                          driver_args=["--screenshot-ack", ack.decode("cp1252")], on_event=on_event)
    done = run.first("screenshot-done")
    if s.c.expect(requests and done is not None, "screenshot taken during the run"):
        s.c.equal(done["alive"], "1", "wait window still up after the screenshot (extraction long enough)")
        s.check_wait_window(requests[0])
        colours = screenshot_colours(s, shot, requests[0])
        s.c.expect(colours >= 2, "wait window's text painted in the screenshot",
                   f"{colours} colour(s) in the text area of {shot}")
    s.c.equal(len(os.listdir(s.dest_file(b"datos"))), count, "every file unpacked")
    shutil.rmtree(s.dest, ignore_errors=True)  # hundreds of megabytes


def scenario_encrypted_entry(s):
    # An entry that zip encrypted with a password: the extraction ends there; with no setup
    # program before it, the package says that nothing could be unpacked.
    # (Its data is never read: the 12-byte header and the content stand for what zip -P writes.)
    entries = [Entry(b"uno.txt", b"uno"), Entry(b"dos.txt", b"dos" * 500),
               Entry(b"secreto.txt", bytes(12) + b"secreto", method=0, flags=1), Entry(b"SETUP.EXE", s.setup)]
    s.check_package(entries, [(CAPTION, NOTHING_UNPACKED)],
                    files={b"uno.txt": b"uno", b"dos.txt": b"dos" * 500, b"secreto.txt": None, b"SETUP.EXE": None})


def scenario_method_9(s):
    # An unknown method: its box, and nothing after it.
    entries = [Entry(b"uno.txt", b"uno"), Entry(b"raro.bin", b"abc", method=9), Entry(b"SETUP.EXE", s.setup)]
    s.check_package(entries, [(CAPTION, UNKNOWN_METHOD)], seen=True, files={b"uno.txt": b"uno", b"SETUP.EXE": None})


def expect_damaged(s, damaged):
    # A damaged entry after the setup program: its box (its path in the caption), the
    # failure's, nothing started. (That the damaged entry's file stays is the host table's.)
    entries = [Entry(b"SETUP.EXE", s.setup), Entry(b"uno.txt", b"uno"), damaged, Entry(b"tres.txt", b"tres")]
    s.check_package(entries, [(s.temp_dir + damaged.name, DAMAGED_ENTRY), (CAPTION, NOTHING_UNPACKED)],
                    seen=True, files={b"SETUP.EXE": s.setup, b"uno.txt": b"uno", b"tres.txt": None})


def scenario_damaged_crc(s):
    expect_damaged(s, Entry(b"da\xf1ado.txt", b"contenido da\xf1ado " * 50, method=0, crc=1))


def scenario_damaged_deflate(s):
    # A stream whose first block has the reserved type 3 (cut streams are the host tests' own).
    content = random.Random(2).randbytes(4000) + b"x" * 20000
    expect_damaged(s, Entry(b"reservado.bin", content, data=b"\x07" + deflate(content)[1:]))


def expect_refused(s, names, flags=0):
    # Unsafe names, one package each: the #SFXENC# box and nothing more, nothing written
    # outside the destination. (That only the entry before it is unpacked is the host table's.)
    for bad in names:
        entries = [Entry(b"uno.txt", b"uno"), Entry(bad, b"malicioso", flags=flags),
                   Entry(b"SETUP.EXE", s.setup), Entry(b"dos.txt", b"dos")]
        before = s.files_outside_destination()
        s.check_package(entries, [(CAPTION, BAD_NAME)], files={b"uno.txt": b"uno"})
        s.c.equal(sorted(s.files_outside_destination() - before), [], f"{bad}: nothing written outside")


def scenario_refused_names(s):
    expect_refused(s, [b"../evil.txt", b"..\\evil.txt", b"sub/../../evil.txt", b"/evil.txt", b"\\evil.txt",
                       b"C:evil.txt", b"C:\\evil.txt"])
    expect_refused(s, [b"caf\xe9.txt"], flags=0x800)  # Windows-1252 bytes under the UTF-8 flag


def scenario_device_names(s):
    # Names Windows opens as devices are refused. Wine's serial and printer devices are
    # pointed at files first, so that nothing can reach a real port, and stay empty.
    dosdevices = os.path.join(s.prefix, "dosdevices")
    links = {}
    for device in ("com1", "com2", "com3", "com4", "lpt1", "lpt2"):
        link = os.path.join(dosdevices, device)
        links[device] = (os.readlink(link) if os.path.islink(link) else None, os.path.join(s.work, device + ".out"))
        open(links[device][1], "wb").close()
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(links[device][1], link)
    try:
        expect_refused(s, [b"COM1", b"com2.txt", b"sub/Aux.txt", b"nul.tar.gz", b"LPT1", b"prn.log", b"CON",
                           b"conout$", b"Com1 .dat", b"lpt2."])
    finally:
        for device, (target, _sink) in links.items():
            os.remove(os.path.join(dosdevices, device))
            if target is not None:
                os.symlink(target, os.path.join(dosdevices, device))
    for device, (_target, sink) in links.items():
        s.c.equal(os.path.getsize(sink), 0, f"nothing written to {device}")


def scenario_full_temp(s):
    # The temporary folder on a small tmpfs that is nearly full: a stored setup program and
    # a deflated file that do not fit are each reported as a failed write, and nothing is
    # started.
    temp = s.win_dir + b"\\lleno"
    mount_point = s.unix_path(temp)
    os.makedirs(mount_point)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount_point],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        print("cannot mount a tmpfs here (it needs root):", mounted.stderr.strip())
        return SKIP
    try:
        with open(os.path.join(mount_point, "relleno"), "wb") as f:
            f.write(bytes(1024 * 1024 - 64 * 1024))  # 64 KiB left
        dest = temp + b"\\_I_\\"
        for name, content, options in (("SETUP.EXE", s.setup + random.Random(3).randbytes(300 * 1024), ["--store"]),
                                       ("datos.bin", b"datos " * 60000, [])):
            shutil.rmtree(s.unix_path(dest), ignore_errors=True)
            s.check_package(pack(s, {"uno.txt": b"uno", name: content, "dos.txt": b"dos"}, *options),
                            [(dest + name.encode(), WRITE_FAILED), (CAPTION, NOTHING_UNPACKED)], temp=temp,
                            gone=[s.unix_path(dest + b"dos.txt")])
            s.c.equal(open(s.unix_path(dest + b"uno.txt"), "rb").read(), b"uno", "first entry unpacked")
    finally:
        subprocess.run(["umount", "-l", mount_point])
    return None


def scenario_setup_still_running(s):
    # A setup program of an earlier run still runs: its file cannot be replaced, and this
    # run starts nothing instead of the older program. The first run's driver waits for that
    # program: Wine ends the processes of a console when the console's first program ends.
    package = s.place(pack(s, {"SETUP.EXE": s.setup, "uno.txt": b"uno"}))
    s.clean()
    first_exited = threading.Event()
    runs = {}

    def first_run():
        runs["first"] = s.run(package, ["--wait-descendants", "20000"], env={"SFX_WINE_STAY_MS": "14000"},
                              on_event=lambda e: first_exited.set() if e.name == "exit" else None)
        first_exited.set()

    waiting = threading.Thread(target=first_run)
    waiting.start()
    first_exited.wait(40)
    s.c.expect(os.path.exists(s.record), "first run started its setup program")
    if os.path.exists(s.record):
        os.remove(s.record)
    second = s.run(package)
    waiting.join()
    s.expect_exit_zero(second)
    s.expect_boxes(second, [(s.installer, OPEN_FAILED), (CAPTION, NOTHING_UNPACKED)])
    s.c.equal(second.all("process"), [], "nothing started by the second run")
    s.c.expect(not os.path.exists(s.record), "the older setup program was not started again")
    s.c.equal(runs["first"].first("exit")["descendants_running"], "1", "first setup program still ran at its exit")


def scenario_setup_not_a_program(s):
    # A setup program Windows cannot start: the box with its path and the system's reason,
    # then the clean-up as usual.
    s.check_package(pack(s, {"SETUP.EXE": b"esto no es un programa\r\n" * 20}), [(CAPTION, start_failed(s.installer))],
                    gone=[s.dest])


def scenario_temp_unusable(s):
    # A temporary folder that does not exist: the box, and nothing unpacked anywhere (no
    # folder at the drive's root). (A path too long for the destination is the host tests'.)
    temp, before = s.win_dir + b"\\no existe", s.files_outside_destination()
    s.check_package(pack(s, {"SETUP.EXE": s.setup, "uno.txt": b"uno"}), [(CAPTION, NO_TEMP_DIR)], seen=False,
                    temp=temp, gone=[s.unix_path(b"C:\\_I_"), s.unix_path(temp + b"\\_I_")])
    s.c.equal(sorted(s.files_outside_destination() - before), [], "nothing written")


def scenario_unicode_names(s):
    # Names with flag bit 11 are UTF-8; names without it are Windows-1252, the prefix's
    # ANSI code page. The files must carry exactly these characters. A name ending in "/"
    # makes its folder and fails to open: the box's caption is its path.
    utf8 = ["ελληνικά.txt", "日本語/説明書.txt", "col·lecció/l·l.txt"]
    ansi = ["café.txt", "año/niño ñ.txt", "l·l.txt"]
    folder = "φάκελος/"
    entries = ([Entry(n.encode(), n.encode() * 3, flags=0x800) for n in utf8] +
               [Entry(n.encode("cp1252"), n.encode() * 3) for n in ansi] +
               [Entry(folder.encode(), b"", method=0, flags=0x800)])
    run = s.check_package(entries, None)
    s.c.equal([(b["caption_w"], b["text_w"]) for b in run.all("box")],
              [((s.temp_dir.decode("cp1252") + "φάκελος\\").encode(), OPEN_FAILED)],  # and no completion after it
              "message boxes (caption, text) as the wide calls read them")
    expected = {os.fsencode(p) for n in utf8 + ansi + [folder] for p in (n.rstrip("/"), os.path.dirname(n)) if p}
    s.c.equal(created_names(s.dest), sorted(expected), "bytes of every created name")


# Folders outside the code page: Cyrillic, CJK, "ł" (which a best fit would make "l", next
# to a decoy folder with "l"), each with spaces; and "é", "ñ" which Windows-1252 has.
UNICODE_FOLDERS = [("Cyrillic", "пакет тест", None), ("CJK", "日本 語", None),
                   ("ł next to a decoy with l", "Paweł dos", "Pawel dos"), ("Windows-1252", "café ñ", None)]


def scenario_unicode_temp(s):
    # The temporary folder outside the code page, and one in it: the files land there, the
    # completion message names it, and the setup program is started from it with the
    # package's path (its own path quoted: every folder here has spaces).
    for what, folder, decoy in UNICODE_FOLDERS:
        temp = "C:\\sfx temporal\\" + folder
        dest = s.unix_path(temp + "\\_I_")
        shutil.rmtree(s.unix_path("C:\\sfx temporal"), ignore_errors=True)
        for f in filter(None, (folder, decoy)):
            os.makedirs(s.unix_path("C:\\sfx temporal\\" + f))
        run = s.check_package(pack(s, {"leeme.txt": b"hola"}), None, temp=temp)
        s.c.equal([(b["caption"], b["text_w"]) for b in run.all("box")],
                  [(CAPTION, COMPLETED.decode("cp1252").encode() + (temp + "\\_I_\\").encode())],
                  what + ": completion message names the temporary folder")
        s.c.equal(created_names(dest), [b"leeme.txt"], what + ": unpacked into the temporary folder")
        if decoy:
            s.c.equal(created_names(s.unix_path("C:\\sfx temporal\\" + decoy)), [], what + ": decoy untouched")
        shutil.rmtree(dest, ignore_errors=True)
        s.check_package(pack(s, {"SETUP.EXE": s.setup}), [], installer=temp + "\\_I_\\SETUP.EXE", temp=temp, gone=[dest])


def scenario_unicode_package_path(s):
    # The package in a folder outside the code page: it finds itself, and the setup
    # program gets a path an 8-bit program can open (the short form where needed). With a
    # decoy package in the "l" folder, the "ł" one must be the one unpacked.
    data = pack(s, {"SETUP.EXE": s.setup, "datos/leeme.txt": b"hola"})
    decoy = pack(s, {b"SE\xd1UELO.txt": b"decoy"})
    for what, folder, decoy_folder in UNICODE_FOLDERS:
        if decoy_folder:
            s.place(decoy, directory="C:\\sfx pruebas\\" + decoy_folder)
        s.check_package(data, [], installer=s.installer, files={b"datos/leeme.txt": b"hola", b"SE\xd1UELO.txt": None},
                        directory="C:\\sfx pruebas\\" + folder)


def scenario_setup_argument_code_pages(s):
    # On machines whose ANSI code page is 932 or 1251 (Wine takes it from the locale's
    # name): each space of the package's path goes as the byte 0xAC, which the wide command
    # line shows as U+FF6C on 932 and U+00AC on 1251. (A locale that is not installed
    # leaves Wine's Unix names in ASCII, so the folder is ASCII here.)
    data = pack(s, {"SETUP.EXE": s.setup})
    for locale, code_page in (("ja_JP.UTF-8", "cp932"), ("ru_RU.UTF-8", "cp1251")):
        s.check_package(data, [], installer=s.installer, env={"LC_ALL": locale, "LANG": locale}, code_page=code_page)


def scenario_setup_outlives_wait(s):
    run = s.check_package(pack(s, {"SETUP.EXE": s.setup}), [], installer=s.installer,
                          driver_args=["--wait-descendants", "15000"], env={"SFX_WINE_STAY_MS": "11500"})
    exit_event, started = run.first("exit"), run.first("process")
    if exit_event is not None and started is not None:
        # The wait begins when the setup program starts; the driver sees that within a
        # poll or two, so the wait measured from there is a little short, never long.
        elapsed, waited = int(exit_event["elapsed"]), exit_event.t - started.t
        s.c.expect(elapsed >= 9900 and 9700 <= waited <= 11000, "package exits after the 10 s wait",
                   f"{elapsed} ms after the start, {waited} ms after the setup program started")
        s.c.equal(exit_event["descendants_running"], "1", "setup program still running at the package's exit")
    s.c.expect(run.first("descendants-done") is not None, "setup program ended later on its own")
    # Its file was in use at the package's exit: it stays (and so does its folder).
    s.c.expect(os.path.exists(s.dest_file(b"SETUP.EXE")), "setup program's file still there afterwards")


def scenario_signed_package(s):
    # A package signed with a certificate made here: the signature goes after the archive.
    plain = pack(s, {"SETUP.EXE": s.setup})
    unsigned, key, cert, signed = (os.path.join(s.work, n)
                                   for n in ("unsigned.exe", "key.pem", "cert.pem", "signed.exe"))
    open(unsigned, "wb").write(plain)
    tool(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
          "/CN=Velmora Software pruebas", "-keyout", key, "-out", cert])
    tool(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Paquete de prueba", "-in", unsigned,
          "-out", signed])
    s.check_package(open(signed, "rb").read(), [], installer=s.installer, gone=[s.dest])


def scenario_packed_by_tool(s):
    # Deflated and stored; a name outside ASCII goes in as UTF-8 with flag bit 11. (Packing
    # from a ZIP file makes the same records: the package tool's own tests show that.)
    inputs = {"SETUP.EXE": s.setup, "datos/leeme.txt": b"Hola desde el paquete.\r\n",
              "datos/imagen.bin": random.Random(4).randbytes(50000) + bytes(50000), "datos/niño ελληνικά 日本.txt": b"UTF-8"}
    for data in (pack(s, inputs), pack(s, inputs, "--store")):
        s.check_package(data, [], installer=s.installer, files={**inputs, "SETUP.EXE": None})


def scenario_branded_package(s):
    # A package with its own texts (sfx-pack create --title, --wait-text, --contact-*) and
    # a damaged entry: its caption and wait text in the wait window, its caption and
    # contact lines in the fatal message.
    caption = "\u00d1and\u00fa Soft"
    texts = ["--title", caption, "--wait-text", "Instalando \u00d1and\u00fa.\nUn momento, por favor...",
             "--contact-email2", "ayuda@nandu.example", "--contact-web3=nandu.example/ayuda"]
    damaged = b"dos" * 1000
    data = bytearray(pack(s, {"SETUP.EXE": s.setup, "dos.txt": damaged, "uno.txt": b"uno"},
                          "--store", "--setup", "SETUP.EXE", *texts))
    data[data.index(scramble(damaged)) + 100] ^= 0x01
    s.wait_title = caption.encode("cp1252").ljust(17)
    s.wait_text = "Instalando \u00d1and\u00fa.\rUn momento, por favor...".encode("cp1252")
    nothing = NOTHING_UNPACKED_WORDS + b"ayuda@nandu.example\rnandu.example/ayuda\r\rError #SFXNRA#"
    s.check_package(bytes(data), [(s.temp_dir + b"dos.txt", DAMAGED_ENTRY), (caption.encode("cp1252"), nothing)],
                    seen=True, files={b"SETUP.EXE": s.setup, b"uno.txt": None})


SCENARIOS = {name[len("scenario_"):]: f for name, f in globals().items() if name.startswith("scenario_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("state", "work", "wine", "stub", "driver", "setup", "sfx-pack"):  # CMake gives absolute paths
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    args = parser.parse_args()
    checks, started = Checks(), time.monotonic()
    if SCENARIOS[args.scenario](Suite(args, checks)) == SKIP:
        return SKIP
    checks.expect(checks.passed + len(checks.failures) > 0, "the scenario checked something")
    print(f"{args.scenario}: {time.monotonic() - started:.1f} s, {checks.passed} checks passed, "
          f"{len(checks.failures)} failed" + "".join("\n  - " + f for f in checks.failures))
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
