#!/usr/bin/env python3
"""End-to-end scenarios of the Windows package (sfx-stub.exe) under Wine.

Each scenario builds packages (the stub followed by an archive written here record by
record, so damaged packages are easy to make), places them in the Wine prefix under a
path with spaces, runs them through the driver program and checks the driver's log (the
message boxes, the wait window, the exit code, the processes started) and the files the
package left in the prefix. The environment (Xvfb, the booted prefix) is brought up
once per test run by scripts/wine-env.sh; its state directory is given with --state.

The system's own texts are compared as Windows-1252 bytes. Windows paths are Windows-1252
bytes, or text (str) where they hold characters outside that code page; Wine keeps the
prefix's file names in UTF-8.
"""

import argparse
import calendar
import dataclasses
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import zipfile
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
NO_TEMP_DIR = (b"No puedo usar la carpeta temporal para descomprimir los archivos de instalaci\xf3n.\r\r"
               b"No puc fer servir la carpeta temporal per descomprimir els arxius d'instal\xb7laci\xf3.\r\r"
               b"Cannot use the temporary folder to uncompress installation archives.\r\rError #SFXETD#")


def start_failed(installer):
    """The box of a setup program that did not start: its path and the system's reason."""
    return re.compile(rb"\ANo puedo ejecutar el programa de instalaci\xf3n\r\r" + re.escape(installer) +
                      rb"\r\r[^\r%]+\r\rError #SFXEJI#\Z")
# The fatal messages end in contact lines whose values are build settings: their shape
# (one line each, in these places) is checked, not their values.
NO_ARCHIVE = re.compile(
    rb"\AArchivo de instalaci\xf3n da\xf1ado\.\r\rArxiu d'instal\xb7laci\xf3 trencat\.\r\r"
    rb"Installation program is damaged\.\r\rE-mail: [^\r]+\r[^\r]+\r[^\r]+\r\rError #SFXAID#\Z")
NOTHING_UNPACKED = re.compile(
    rb"\ANo puedo reconstruir los archivos de instalaci\xf3n\.\r\r"
    rb"No puc reconstruir els arxius d'instal\xb7laci\xf3\.\r\r"
    rb"Cannot reconstruct installation archives\.\r\r[^\r]+\r[^\r]+\r\rError #SFXNRA#\Z")

# Wait window style bits the template asks for; Wine adds WS_VISIBLE, WS_CLIPSIBLINGS and
# DS_3DLOOK, and reports the extended style of a modal-frame dialog.
WAIT_STYLE = 0x80C80880
WAIT_STYLE_SEEN = WAIT_STYLE | 0x10000000 | 0x04000000 | 0x00000004
WAIT_EXSTYLE_SEEN = 0x00010101  # WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME

# --- archive records -----------------------------------------------------------------

MARKER = bytes([0xA6, 0x95, 0x9C, 0x2B, 0x0F, 0xF0])
ALT_SIGNATURE = b"Vel\xdb"
PK_SIGNATURE = b"PK\x03\x04"
NOON_2025 = (2025, 1, 1, 12, 0, 0)


def dos_date_time(when):
    year, month, day, hour, minute, second = when
    return ((year - 1980) << 9) | (month << 5) | day, (hour << 11) | (minute << 5) | (second // 2)


def deflate(data):
    """A raw deflate stream (no zlib header), as records hold it."""
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def crc_byte(crc, byte):
    crc ^= byte
    for _ in range(8):
        crc = (crc >> 1) ^ (0xEDB88320 if crc & 1 else 0)
    return crc


class TraditionalCipher:
    """The traditional PKWARE stream cipher, to make genuinely encrypted entries."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, plain):
        k0, k1, k2 = self.keys
        k0 = crc_byte(k0, plain)
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = crc_byte(k2, k1 >> 24)
        self.keys = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for b in data:
            t = (self.keys[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(b)
        return bytes(out)


@dataclasses.dataclass
class Entry:
    """One record; `data` (what follows the name) and `crc` default to the right values."""
    name: bytes
    content: bytes = b""
    method: int = 8
    when: tuple = NOON_2025
    signature: bytes = ALT_SIGNATURE
    crc: int = None
    data: bytes = None
    password: bytes = None
    flags: int = 0

    def encoded(self, first):
        crc = zlib.crc32(self.content) if self.crc is None else self.crc
        data = self.data
        if data is None:
            data = deflate(self.content) if self.method == 8 else self.content
        flags = self.flags
        if self.password is not None:
            flags |= 1
            cipher = TraditionalCipher(self.password)
            data = cipher.encrypt(os.urandom(11) + bytes([crc >> 24])) + cipher.encrypt(data)
        date, time_ = dos_date_time(self.when)
        # The first record's signature and version field are the marker the stub looks for.
        signature, version = (ALT_SIGNATURE, 0x00FF) if first else (self.signature, 20)
        header = signature + struct.pack("<HHHHHIIIHH", version, flags, self.method, time_, date,
                                         crc, len(data), len(self.content), len(self.name), 0)
        return header + self.name + data


def scramble(data):
    return bytes(b ^ 0xF0 for b in data)


def build_package(stub, entries, tail=b""):
    archive = b"".join(e.encoded(i == 0) for i, e in enumerate(entries))
    return stub + scramble(archive) + tail


def dos_mtime(when):
    """The Unix mtime Wine gives a file whose time was set from a DOS date and time."""
    return calendar.timegm(when[:6] + (0, 0, 0))


# --- driver log ----------------------------------------------------------------------

FIELD = re.compile(rb'(\w+)=(?:"((?:[^"\\]|\\.)*)"|(\S*))')
ESCAPE = re.compile(rb"\\(x[0-9A-Fa-f]{2}|.)")


def unescape(raw):
    def one(m):
        code = m.group(1)
        if code.startswith(b"x") and len(code) == 3:
            return bytes([int(code[1:], 16)])
        return {b"r": b"\r", b"n": b"\n", b"t": b"\t"}.get(code, code)
    return ESCAPE.sub(one, raw)


class Event(dict):
    """One log line: the driver's time in ms, the event's name, and its fields as a dict
    (quoted values unescaped to bytes, others as text)."""

    def __init__(self, t, name, fields):
        super().__init__(fields)
        self.t, self.name = t, name


def parse_event(line):
    parts = line.split(b" ", 2)
    if len(parts) < 2 or not parts[0].startswith(b"t="):
        return None
    fields = {}
    for m in FIELD.finditer(parts[2] if len(parts) > 2 else b""):
        key = m.group(1).decode()
        fields[key] = unescape(m.group(2)) if m.group(2) is not None else m.group(3).decode()
    return Event(int(parts[0][2:]), parts[1].decode(), fields)


class Run:
    def __init__(self, events):
        self.events = events

    def all(self, name):
        return [e for e in self.events if e.name == name]

    def first(self, name):
        found = self.all(name)
        return found[0] if found else None


# --- checks --------------------------------------------------------------------------

class Checks:
    def __init__(self):
        self.passed = 0
        self.failures = []

    def expect(self, ok, what, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failures.append(what + (": " + detail if detail else ""))
            print("FAIL", what, detail, flush=True)
        return ok

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, what, f"got {actual!r}, expected {expected!r}")

    def report(self):
        print(f"{self.passed} checks passed, {len(self.failures)} failed")
        for f in self.failures:
            print("  -", f)
        return 1 if self.failures else 0


def matches(expected, actual):
    return expected.match(actual) is not None if isinstance(expected, re.Pattern) else actual == expected


# --- one scenario's surroundings -----------------------------------------------------

class Suite:
    def __init__(self, args, checks):
        self.args = args
        self.c = checks
        self.env_vars = self.load_state(args.state)
        self.prefix = self.env_vars["WINEPREFIX"]
        self.win_temp = self.env_vars["WIN_TEMP"].encode("cp1252")
        self.temp_dir = self.win_temp + b"_I_\\"  # TempDir as the package composes it
        self.dest = self.unix_path(self.temp_dir)
        self.work = os.path.join(args.work, args.scenario)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        # Packages live in the prefix under a directory and a name with spaces.
        self.win_dir = b"C:\\sfx pruebas\\" + args.scenario.encode()
        self.dir = self.unix_path(self.win_dir)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.record_win = self.win_dir + b"\\registro.bin"
        self.record = self.unix_path(self.record_win)
        self.runs = 0
        self.stub = open(args.stub, "rb").read()
        if MARKER in self.stub[20:]:
            sys.exit("the stub itself contains the archive marker")
        self.setup = open(args.setup, "rb").read()
        self.has_sfx_pack = bool(args.sfx_pack) and os.access(args.sfx_pack, os.X_OK)
        self.installer = self.temp_dir + b"SETUP.EXE"  # where the setup program is started
        self.completed = (CAPTION, COMPLETED + self.temp_dir)  # the box after a full extraction
        self.wait_title, self.wait_text = WAIT_TITLE, WAIT_TEXT  # a package's own texts may differ

    @staticmethod
    def load_state(state):
        path = os.path.join(state, "env")
        if not os.path.exists(path):
            sys.exit(f"no Wine environment in {state}: run the wine_environment_up test first")
        values = {}
        for line in open(path, encoding="utf-8"):
            key, _, value = line.rstrip("\n").partition("=")
            values[key] = value
        return values

    def unix_path(self, win):
        """C:\\a\\b (Windows-1252 bytes, or text) to the file in the prefix; Wine stores names as UTF-8."""
        text = win.decode("cp1252") if isinstance(win, bytes) else win
        drive, rest = text[0].lower(), text[2:].replace("\\", "/").lstrip("/")
        return os.path.join(os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":")), rest)

    def dest_file(self, name):
        """The unpacked file of an entry name (Windows-1252 bytes, or text)."""
        if isinstance(name, str):
            return self.unix_path(self.temp_dir.decode("cp1252") + name.replace("/", "\\"))
        return self.unix_path(self.temp_dir + name.replace(b"/", b"\\"))

    def wine_env(self, extra=None):
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix, WINEARCH="win32", WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=self.env_vars["DISPLAY"],
                   SFX_WINE_RECORD=self.record_win.decode("cp1252"))
        env.pop("SFX_WINE_STAY_MS", None)
        env.pop("SFX_WINE_BOX", None)
        env.update(extra or {})
        return env

    def place(self, data, name=b"paquete de prueba.exe", directory=None):
        """Writes a package into the prefix (the scenario's folder, or `directory`, text);
        returns its Windows path."""
        path = self.win_dir + b"\\" + name if directory is None else directory + "\\" + name.decode("cp1252")
        os.makedirs(os.path.dirname(self.unix_path(path)), exist_ok=True)
        with open(self.unix_path(path), "wb") as f:
            f.write(data)
        return path

    def clean(self):
        """Before a run: no destination directory, no record of an earlier run."""
        shutil.rmtree(self.dest, ignore_errors=True)
        for leftover in (self.record, self.record + ".w", self.record + ".open"):
            if os.path.exists(leftover):
                os.remove(leftover)
        for path in (self.record, self.dest):
            self.c.expect(not os.path.exists(path), "clean start", path)

    def run(self, package, driver_args=(), env=None, on_event=None):
        """Runs a package through the driver; on_event sees each log line as it comes."""
        self.runs += 1
        log_path = os.path.join(self.work, f"driver-{self.runs}.log")
        # The driver ends the package (and what it started) itself after 60 s.
        command = [self.args.wine, self.args.driver, "--timeout", "60000", *driver_args,
                   package.decode("cp1252") if isinstance(package, bytes) else package]
        events = []
        with open(log_path, "wb") as log:
            process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=log,
                                       stdin=subprocess.DEVNULL, cwd=self.dir,
                                       env=self.wine_env(env))
            for line in process.stdout:
                log.write(line)
                log.flush()
                event = parse_event(line.rstrip(b"\r\n"))
                if event is not None:
                    events.append(event)
                    if on_event:
                        on_event(event)
            returncode = process.wait()
        print(f"run {self.runs}: {log_path}")
        for e in events:
            print("   ", e.t, e.name, {k: v for k, v in e.items() if not k.startswith("child")})
        self.c.equal(returncode, 0, "driver's result (3: time-out)")
        return Run(events)

    # --- expectations shared by the scenarios ---

    def expect_exit_zero(self, run):
        exit_event = run.first("exit")
        if self.c.expect(exit_event is not None, "package exited"):
            self.c.equal(int(exit_event["code"]), 0, "package exit code (all 32 bits)")
        self.c.equal(run.all("window"), [], "no other windows")

    def expect_boxes(self, run, expected):
        got = [(b["caption"], b["text"]) for b in run.all("box")]
        ok = len(got) == len(expected) and all(
            matches(ec, gc) and matches(et, gt) for (ec, et), (gc, gt) in zip(expected, got))
        self.c.expect(ok, "message boxes (caption, text) in order",
                      f"got {got!r}, expected {[(c, t.pattern if isinstance(t, re.Pattern) else t) for c, t in expected]!r}")
        for b in run.all("box"):
            self.c.equal(b["owner"], "0x00000000", "message box has no owner window")
            self.c.equal(b["buttons"], "1", "message box has one button")

    def expect_wait_window(self, run, seen):
        """seen: True when the wait window must show, False when it must not, None when
        the extraction may be too short for the driver to see it."""
        windows = run.all("wait-window")
        if seen is not None:
            self.c.equal(bool(windows), seen, "wait window seen")
        for w in windows:
            self.check_wait_window(w)

    def check_wait_window(self, w):
        self.c.equal(w["class"], b"#32770", "wait window class")
        self.c.equal(w["title"], self.wait_title, "wait window title (padded with spaces)")
        self.c.equal(int(w["style"], 0), WAIT_STYLE_SEEN, "wait window style")
        self.c.equal(int(w["exstyle"], 0), WAIT_EXSTYLE_SEEN, "wait window extended style")
        self.c.equal((w["buttons"], w["children"]), ("0", "1"), "wait window: no buttons, one control")
        self.c.equal((w.get("child0_class"), w.get("child0_id")), (b"Static", "0"), "wait window static control")
        self.c.equal(w.get("child0_text"), self.wait_text, "wait window text")
        dx2, dy2 = int(w["dx2"]), int(w["dy2"])
        self.c.expect(abs(dx2) <= 4 and abs(dy2) <= 4, "wait window centred in the work area within 2 px",
                      f"rect {w['rect']} work {w['work']}")

    def expect_files(self, files):
        """files: name (as dest_file takes it) -> expected content (bytes), or None for 'must not exist'."""
        for name, content in files.items():
            path = self.dest_file(name)
            label = name if isinstance(name, str) else name.decode("cp1252")
            if content is None:
                self.c.expect(not os.path.exists(path), "not extracted: " + label)
            elif self.c.expect(os.path.isfile(path), "extracted: " + label):
                self.c.expect(open(path, "rb").read() == content, "content of " + label)

    def expect_mtime(self, name, when):
        path = self.dest_file(name)
        if os.path.exists(path):
            self.c.equal(int(os.stat(path).st_mtime), dos_mtime(when),
                         "write time of " + name.decode("cp1252"))

    def short_path(self, win):
        """The short (8.3) form Wine gives a path (text)."""
        out = subprocess.run([self.args.wine, self.args.driver, "--print-short", win],
                             capture_output=True, env=self.wine_env())
        return out.stdout.decode("utf-8").strip()

    def expected_command_lines(self, installer, package, code_page="cp1252"):
        """The setup program's command line as GetCommandLineA and GetCommandLineW give it:
        the package's path in the ANSI code page (its short form when it has characters
        outside it) with each space as 0xAC, which the wide line shows as the character
        the code page gives 0xAC (U+00AC in Windows-1252)."""
        installer, package = (p.decode("cp1252") if isinstance(p, bytes) else p for p in (installer, package))
        quoted = '"' + installer + '"' if " " in installer else installer
        try:
            argument = package.encode(code_page)
        except UnicodeEncodeError:
            argument = self.short_path(package).encode(code_page)
        argument = argument.replace(b" ", b"\xac")
        return (quoted.encode(code_page, errors="replace") + b" " + argument,
                (quoted + " " + argument.decode(code_page)).encode())

    def expect_started(self, run, package, installer, size=None, code_page="cp1252"):
        """installer: the setup program's Windows path, or None when nothing may start;
        size: the package's size, which the 8-bit argument must open; code_page: the
        ANSI code page the package ran with."""
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

    def check_package(self, content, boxes, seen=None, files=None, installer=None,
                      driver_args=(), **run_args):
        """Places a package (a list of entries, or its bytes), runs it and checks what every
        run of the real package must show: exit code 0 and no stray window, these message
        boxes (caption, text) in order, the wait window (see expect_wait_window), the files
        unpacked (expect_files) and the setup program started or not (expect_started)."""
        data = build_package(self.stub, content) if isinstance(content, list) else content
        package = self.place(data)
        self.clean()
        run = self.run(package, driver_args, **run_args)
        self.expect_exit_zero(run)
        self.expect_boxes(run, boxes)
        self.expect_wait_window(run, seen)
        self.expect_files(files or {})
        self.expect_started(run, package, installer, len(data))
        return run

    def files_outside_destination(self):
        """Every file of drive C: but the destination, the scenario's own files and Wine's."""
        root = os.path.join(self.prefix, "drive_c")
        skip = {os.path.normpath(p) for p in (self.dest, self.dir, os.path.join(root, "windows"))}
        found = set()
        for top, dirs, names in os.walk(root):
            dirs[:] = [d for d in dirs if os.path.normpath(os.path.join(top, d)) not in skip]
            found.update(os.path.join(top, n) for n in names)
        return found


# --- scenarios of the real package -----------------------------------------------------

def scenario_setup_started(s):
    s.check_package([Entry(b"SETUP.EXE", s.setup)], [], installer=s.installer)
    s.c.expect(not os.path.exists(s.dest_file(b"SETUP.EXE")), "setup program's file deleted")
    s.c.expect(not os.path.exists(s.dest), "destination directory removed")


def scenario_setup_in_temp_with_spaces(s):
    """A temporary directory with spaces: the setup program's path is quoted, the
    package's path still has 0xAC for its spaces."""
    temp = s.win_dir + b"\\temporal con espacios"
    os.makedirs(s.unix_path(temp))
    run = s.check_package([Entry(b"SETUP.EXE", s.setup)], [], installer=temp + b"\\_I_\\SETUP.EXE",
                          driver_args=["--env", "TMP=" + temp.decode("cp1252"),
                                       "--env", "TEMP=" + temp.decode("cp1252")])
    s.c.equal(run.first("start")["temp"], temp + b"\\", "the package's temporary directory")
    s.c.expect(not os.path.exists(s.unix_path(temp + b"\\_I_")), "destination directory removed")


def scenario_no_setup(s):
    info = bytes(range(256)) * 400 + os.urandom(3000)
    files = {
        b"leeme.txt": (b"Hola.\r\n", 0, (2024, 2, 29, 23, 59, 58), ALT_SIGNATURE),
        b"datos/info.bin": (info, 8, (2010, 7, 4, 6, 30, 0), PK_SIGNATURE),
        b"datos/sub/vac\xedo.txt": (b"", 0, (1999, 12, 31, 0, 0, 2), ALT_SIGNATURE),
        b"programa.exe": (b"lower case: not a setup program", 8, NOON_2025, PK_SIGNATURE),
    }
    entries = [Entry(n, c, method=m, when=w, signature=sig) for n, (c, m, w, sig) in files.items()]
    s.check_package(entries, [s.completed], files={n: c for n, (c, *_rest) in files.items()})
    for name, (_c, _m, when, _sig) in files.items():
        s.expect_mtime(name, when)


def scenario_no_marker(s):
    # The stub alone, and a stub followed by records whose first byte breaks the marker.
    broken = bytearray(build_package(s.stub, [Entry(b"SETUP.EXE", s.setup)]))
    broken[len(s.stub)] ^= 0x01
    for variant, data in (("stub alone", s.stub), ("marker broken", bytes(broken))):
        s.check_package(data, [(CAPTION, NO_ARCHIVE)], seen=False)
        s.c.expect(not os.path.exists(s.dest), f"{variant}: nothing unpacked")


def scenario_cancel_during_box(s):
    # A name ending in "/" makes a directory that cannot be opened as a file: the
    # "#SFXEAA#" box, after which the extraction goes on.
    entries = [Entry(b"uno.txt", b"uno"), Entry(b"carpeta/", b"", method=0),
               Entry(b"SETUP.EXE", s.setup), Entry(b"dos.txt", b"dos" * 1000)]
    run = s.check_package(entries, [(s.temp_dir + b"carpeta\\", OPEN_FAILED)], seen=True,
                          files={b"uno.txt": b"uno", b"dos.txt": b"dos" * 1000, b"SETUP.EXE": None},
                          installer=s.installer, driver_args=["--cancel-on-box", "1"])
    result = run.first("cancel-result")
    s.c.expect(run.first("cancel-posted") is not None, "cancel posted while the box was open")
    s.c.expect(result is not None and result["wait_window_gone"] == "1" and result["box_open"] == "1",
               "wait window closed while the box was still open", str(result))
    s.c.expect(os.path.isdir(s.dest_file(b"carpeta")), "directory of the name ending in / made")


def long_extraction_entries(megabytes):
    """Many deflated files: long enough to photograph the wait window while it works."""
    block = (b"Velmora " * 64 + bytes(range(256))) * 512   # 384 KiB, compresses well
    data, crc = deflate(block), zlib.crc32(block)
    count = max(1, megabytes * 1024 * 1024 // len(block))
    return [Entry(b"datos/parte%04d.bin" % i, block, crc=crc, data=data) for i in range(count)], block


def screenshot_colours(s, shot, event):
    """Distinct colours inside the static control's visible part of a screenshot."""
    l, t, r, b = (int(v) for v in event["child0_rect"].split(","))
    cl, ct, cr, cb = (int(v) for v in event["client"].split(","))
    l, t, r, b = max(l, cl), max(t, ct), min(r, cr), min(b, cb)
    crop = os.path.join(s.work, "wait-window-text.png")
    out = subprocess.run(["convert", shot, "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage",
                          "-write", crop, "-format", "%k", "info:"], capture_output=True, text=True)
    s.c.expect(out.returncode == 0, "screenshot cropped", out.stderr)
    return int(out.stdout.strip() or 0)


def scenario_screenshot_long_extraction(s):
    """The driver pauses once the wait window shows, this runner photographs the screen,
    and the text area of the window must hold more than its background colour."""
    entries, block = long_extraction_entries(int(os.environ.get("SFX_WINE_LONG_MB", "300")))
    shot, ack = os.path.join(s.work, "wait-window.png"), s.win_dir + b"\\screenshot.ack"
    requests = []

    def on_event(event):
        if event.name == "screenshot-request":
            out = subprocess.run(["import", "-display", s.env_vars["DISPLAY"], "-window", "root", shot],
                                 capture_output=True, text=True)
            s.c.expect(out.returncode == 0, "screenshot taken", out.stderr)
            requests.append(event)
            open(s.unix_path(ack), "wb").close()

    started = time.monotonic()
    run = s.check_package(entries, [s.completed], seen=True,
                          files={entries[0].name: block, entries[-1].name: block},
                          driver_args=["--screenshot-ack", ack.decode("cp1252")], on_event=on_event)
    print(f"package run took {time.monotonic() - started:.1f} s for {len(entries)} files")
    done = run.first("screenshot-done")
    if s.c.expect(requests and done is not None, "screenshot taken during the run"):
        s.c.equal(done["alive"], "1", "wait window still up after the screenshot (extraction long enough)")
        s.check_wait_window(requests[0])
        colours = screenshot_colours(s, shot, requests[0])
        s.c.expect(colours >= 2, "wait window's text painted in the screenshot",
                   f"{colours} colour(s) in the text area of {shot}")
    s.c.equal(len(os.listdir(s.dest_file(b"datos"))), len(entries), "every file unpacked")
    shutil.rmtree(s.dest, ignore_errors=True)  # hundreds of megabytes


def scenario_encrypted_entry(s):
    entries = [Entry(b"uno.txt", b"uno", method=0), Entry(b"dos.txt", b"dos" * 500),
               Entry(b"secreto.txt", b"secreto" * 100, password=b"clave"),
               Entry(b"SETUP.EXE", s.setup)]
    # The extraction ends at the encrypted entry; with no setup program before it, the
    # package says that nothing could be unpacked.
    s.check_package(entries, [(CAPTION, NOTHING_UNPACKED)], files={b"uno.txt": b"uno", b"dos.txt": b"dos" * 500,
                                        b"secreto.txt": None, b"SETUP.EXE": None})


def scenario_method_9(s):
    when = (2024, 6, 15, 8, 30, 10)
    entries = [Entry(b"uno.txt", b"uno"), Entry(b"raro.bin", b"abc", method=9, when=when),
               Entry(b"SETUP.EXE", s.setup), Entry(b"dos.txt", b"dos")]
    s.check_package(entries, [(CAPTION, UNKNOWN_METHOD)], seen=True,
                    files={b"uno.txt": b"uno", b"raro.bin": b"", b"SETUP.EXE": None, b"dos.txt": None})
    s.expect_mtime(b"raro.bin", when)


def expect_damaged(s, damaged, written=None):
    """A damaged entry after the setup program: the box, then nothing started; the
    damaged entry's file stays (with `written` in it when given)."""
    entries = [Entry(b"SETUP.EXE", s.setup), Entry(b"uno.txt", b"uno"), damaged, Entry(b"tres.txt", b"tres")]
    files = {b"SETUP.EXE": s.setup, b"uno.txt": b"uno", b"tres.txt": None}
    if written is not None:
        files[damaged.name] = written
    run = s.check_package(entries, [(s.temp_dir + damaged.name, DAMAGED_ENTRY), (CAPTION, NOTHING_UNPACKED)],
                          seen=True, files=files)
    s.c.expect(os.path.exists(s.dest_file(damaged.name)), "damaged entry's file stays")
    s.c.equal(run.all("process"), [], "no process started")


def scenario_damaged_crc(s):
    content = b"contenido da\xf1ado " * 50
    expect_damaged(s, Entry(b"da\xf1ado.txt", content, method=0, crc=zlib.crc32(content) ^ 0x00800000),
                   content)


def scenario_damaged_deflate(s):
    content = os.urandom(4000) + b"x" * 20000
    stream = deflate(content)
    # A stream cut in half, and one whose first block has the reserved type 3.
    expect_damaged(s, Entry(b"cortado.bin", content, data=stream[:len(stream) // 2]))
    expect_damaged(s, Entry(b"reservado.bin", content, data=b"\x07" + stream[1:]))


def expect_refused(s, bad, flags=0):
    """An unsafe name: the #SFXENC# box and nothing more, nothing written outside the
    destination, only the entry before it unpacked."""
    label = bad.decode("cp1252")
    entries = [Entry(b"uno.txt", b"uno"), Entry(bad, b"malicioso", flags=flags),
               Entry(b"SETUP.EXE", s.setup), Entry(b"dos.txt", b"dos")]
    before = s.files_outside_destination()
    s.check_package(entries, [(CAPTION, BAD_NAME)], files={b"uno.txt": b"uno", b"SETUP.EXE": None, b"dos.txt": None})
    s.c.equal(sorted(s.files_outside_destination() - before), [], f"{label}: nothing written outside")
    under_dest = [os.path.join(t, n) for t, _d, ns in os.walk(s.dest) for n in ns]
    s.c.equal(sorted(os.path.relpath(p, s.dest) for p in under_dest), ["uno.txt"],
              f"{label}: only the first entry unpacked")


def scenario_refused_names(s):
    for bad in (b"../evil.txt", b"..\\evil.txt", b"sub/../../evil.txt", b"/evil.txt",
                b"\\evil.txt", b"C:evil.txt", b"C:\\evil.txt"):
        expect_refused(s, bad)
    expect_refused(s, b"caf\xe9.txt", flags=0x800)  # Windows-1252 bytes under the UTF-8 flag


def scenario_device_names(s):
    """Names Windows opens as devices are refused. Wine's serial and printer devices are
    pointed at files first, so that nothing can reach a real port, and stay empty."""
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
        for bad in (b"COM1", b"com2.txt", b"sub/Aux.txt", b"nul.tar.gz", b"LPT1", b"prn.log", b"CON",
                    b"conout$", b"Com1 .dat", b"lpt2."):
            expect_refused(s, bad)
    finally:
        for device, (target, _sink) in links.items():
            link = os.path.join(dosdevices, device)
            os.remove(link)
            if target is not None:
                os.symlink(target, link)
    for device, (_target, sink) in links.items():
        s.c.equal(os.path.getsize(sink), 0, f"nothing written to {device}")


def scenario_full_temp(s):
    """The temporary folder on a small tmpfs that is nearly full: a stored setup program
    and a deflated file that do not fit are each reported as a failed write, and nothing
    is started."""
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
        env_args = ["--env", "TMP=" + temp.decode("cp1252"), "--env", "TEMP=" + temp.decode("cp1252")]
        dest = temp + b"\\_I_\\"
        big = os.urandom(300 * 1024)
        for name, entry in ((b"SETUP.EXE", Entry(b"SETUP.EXE", s.setup + big, method=0)),
                            (b"datos.bin", Entry(b"datos.bin", big))):
            shutil.rmtree(s.unix_path(dest), ignore_errors=True)
            s.check_package([Entry(b"uno.txt", b"uno"), entry, Entry(b"dos.txt", b"dos")],
                            [(dest + name, WRITE_FAILED), (CAPTION, NOTHING_UNPACKED)], driver_args=env_args)
            s.c.equal(open(s.unix_path(dest + b"uno.txt"), "rb").read(), b"uno", "first entry unpacked")
            s.c.expect(not os.path.exists(s.unix_path(dest + b"dos.txt")), "nothing after the failed write")
    finally:
        subprocess.run(["umount", "-l", mount_point])


def scenario_setup_still_running(s):
    """A setup program of an earlier run still runs: its file cannot be replaced, and this
    run starts nothing instead of the older program. The first run's driver waits for that
    program: Wine ends the processes of a console when the console's first program ends."""
    package = s.place(build_package(s.stub, [Entry(b"SETUP.EXE", s.setup), Entry(b"uno.txt", b"uno")]))
    s.clean()
    first_exited = threading.Event()
    runs = {}

    def first_run():
        runs["first"] = s.run(package, ["--wait-descendants", "20000"],
                              env={"SFX_WINE_STAY_MS": "14000"},
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
    """A setup program Windows cannot start: the box with its path and the system's reason,
    then the clean-up as usual."""
    s.check_package([Entry(b"SETUP.EXE", b"esto no es un programa\r\n" * 20)], [(CAPTION, start_failed(s.installer))])
    s.c.expect(not os.path.exists(s.dest), "its file deleted and the destination removed")


def scenario_temp_unusable(s):
    """A temporary folder that does not exist, or whose path leaves no room for the
    destination: the box, and nothing unpacked anywhere (no folder at the drive's root)."""
    long_dir = s.win_dir  # 251 or 252 characters in folders of at most 60: no room for "\\_I_\\"
    while len(long_dir) < 251:
        long_dir += b"\\" + b"l" * min(60, 252 - len(long_dir) - 1)
    os.makedirs(s.unix_path(long_dir))
    root_dest = s.unix_path(b"C:\\_I_")
    for label, temp in (("missing", s.win_dir + b"\\no existe"), ("too long", long_dir)):
        before = s.files_outside_destination()
        s.check_package([Entry(b"SETUP.EXE", s.setup), Entry(b"uno.txt", b"uno")], [(CAPTION, NO_TEMP_DIR)],
                        seen=False, driver_args=["--env", "TMP=" + temp.decode("cp1252"),
                                                 "--env", "TEMP=" + temp.decode("cp1252")])
        s.c.equal(sorted(s.files_outside_destination() - before), [], f"{label}: nothing written")
        s.c.expect(not os.path.exists(root_dest), f"{label}: no folder at the drive's root")
        s.c.expect(not os.path.exists(s.unix_path(temp + b"\\_I_")), f"{label}: no destination")


def created_names(top):
    """Every file and folder under `top`, relative, as the UTF-8 bytes Wine stored."""
    top = os.fsencode(top)
    return sorted(os.path.relpath(os.path.join(t, n), top) for t, ds, fs in os.walk(top) for n in ds + fs)


def scenario_unicode_names(s):
    """Names with flag bit 11 are UTF-8; names without it are Windows-1252, the prefix's
    ANSI code page. The files must carry exactly these characters."""
    utf8 = ["ελληνικά.txt", "日本語/説明書.txt", "col·lecció/l·l.txt"]
    ansi = ["café.txt", "año/niño ñ.txt", "l·l.txt"]
    # A name ending in "/" makes its folder and fails to open: the box's caption is its path.
    folder = "φάκελος/"
    entries = ([Entry(n.encode(), n.encode() * 3, flags=0x800) for n in utf8] +
               [Entry(n.encode("cp1252"), n.encode() * 3) for n in ansi] +
               [Entry(folder.encode(), b"", method=0, flags=0x800)])
    s.clean()
    run = s.run(s.place(build_package(s.stub, entries)))
    s.expect_exit_zero(run)
    temp = s.temp_dir.decode("cp1252")
    s.c.equal([(b["caption_w"], b["text_w"]) for b in run.all("box")],
              [((temp + "φάκελος\\").encode(), OPEN_FAILED)],  # and no completion after it
              "message boxes (caption, text) as the wide calls read them")
    created = created_names(s.dest)
    expected = sorted({os.fsencode(p) for n in utf8 + ansi + [folder] for p in (n.rstrip("/"), os.path.dirname(n)) if p})
    s.c.equal(created, expected, "bytes of every created name")
    for n in utf8 + ansi:
        path = os.path.join(s.dest, n)
        s.c.expect(os.path.isfile(path) and open(path, "rb").read() == n.encode() * 3, "content of " + n)


# Folders outside the code page: Cyrillic, CJK, "ł" (which a best fit would make "l", next
# to a decoy folder with "l"), each with spaces; and "é", "ñ" which Windows-1252 has.
UNICODE_FOLDERS = [("Cyrillic", "пакет тест", None), ("CJK", "日本 語", None),
                   ("ł next to a decoy with l", "Paweł dos", "Pawel dos"), ("Windows-1252", "café ñ", None)]


def scenario_unicode_temp(s):
    """The temporary folder outside the code page: the files land there, the completion
    message names it, and the setup program is started from it with the package's path."""
    for what, folder, decoy in UNICODE_FOLDERS:
        temp = "C:\\sfx temporal\\" + folder
        dest = s.unix_path(temp + "\\_I_")
        shutil.rmtree(s.unix_path("C:\\sfx temporal"), ignore_errors=True)
        for f in (folder, decoy):
            if f:
                os.makedirs(s.unix_path("C:\\sfx temporal\\" + f))
        env_args = ["--env", "TMP=" + temp, "--env", "TEMP=" + temp]
        s.clean()
        run = s.run(s.place(build_package(s.stub, [Entry(b"leeme.txt", b"hola")])), env_args)
        s.expect_exit_zero(run)
        boxes = [(b["caption"], b["text_w"]) for b in run.all("box")]
        s.c.equal(boxes, [(CAPTION, COMPLETED.decode("cp1252").encode() + (temp + "\\_I_\\").encode())],
                  what + ": completion message names the temporary folder")
        s.c.equal(created_names(dest), [b"leeme.txt"], what + ": unpacked into the temporary folder")
        if decoy:
            s.c.equal(created_names(s.unix_path("C:\\sfx temporal\\" + decoy)), [], what + ": decoy untouched")
        shutil.rmtree(dest, ignore_errors=True)
        s.clean()
        data = build_package(s.stub, [Entry(b"SETUP.EXE", s.setup)])
        package = s.place(data)
        run = s.run(package, env_args)
        s.expect_exit_zero(run)
        s.expect_boxes(run, [])
        s.expect_started(run, package, temp + "\\_I_\\SETUP.EXE", len(data))
        s.c.expect(not os.path.exists(dest), what + ": destination directory removed")


def scenario_unicode_package_path(s):
    """The package in a folder outside the code page: it finds itself, and the setup
    program gets a path an 8-bit program can open (the short form where needed). With a
    decoy package in the "l" folder, the "ł" one must be the one unpacked."""
    for what, folder, decoy in UNICODE_FOLDERS:
        top = "C:\\sfx pruebas\\" + folder
        if decoy:
            s.place(build_package(s.stub, [Entry(b"SE\xd1UELO.txt", b"decoy")]),
                    directory="C:\\sfx pruebas\\" + decoy)
        s.clean()
        data = build_package(s.stub, [Entry(b"SETUP.EXE", s.setup), Entry(b"datos/leeme.txt", b"hola")])
        package = s.place(data, directory=top)
        run = s.run(package)
        s.expect_exit_zero(run)
        s.expect_boxes(run, [])
        s.expect_files({b"datos/leeme.txt": b"hola", b"SE\xd1UELO.txt": None})
        s.expect_started(run, package, s.installer, len(data))


def scenario_setup_argument_code_pages(s):
    """On machines whose ANSI code page is 932 or 1251 (Wine takes it from the locale's
    name): each space of the package's path goes as the byte 0xAC, which the wide command
    line shows as U+FF6C on 932 and U+00AC on 1251. (A locale that is not installed
    leaves Wine's Unix names in ASCII, so the folder is ASCII here.)"""
    for locale, code_page in (("ja_JP.UTF-8", "cp932"), ("ru_RU.UTF-8", "cp1251")):
        s.clean()
        data = build_package(s.stub, [Entry(b"SETUP.EXE", s.setup)])
        package = s.place(data)
        run = s.run(package, env={"LC_ALL": locale, "LANG": locale})
        s.expect_exit_zero(run)
        s.expect_boxes(run, [])
        s.expect_started(run, package, s.installer, len(data), code_page)


def scenario_setup_outlives_wait(s):
    at_exit = {}

    def on_event(event):
        if event.name == "exit":
            at_exit.update(setup=os.path.exists(s.dest_file(b"SETUP.EXE")), dest=os.path.isdir(s.dest))

    run = s.check_package([Entry(b"SETUP.EXE", s.setup)], [], installer=s.installer,
                          driver_args=["--wait-descendants", "15000"], env={"SFX_WINE_STAY_MS": "11500"},
                          on_event=on_event)
    exit_event, started = run.first("exit"), run.first("process")
    if exit_event is not None and started is not None:
        # The wait begins when the setup program starts; the driver sees that within a
        # poll or two, so the wait measured from there is a little short, never long.
        elapsed, waited = int(exit_event["elapsed"]), exit_event.t - started.t
        s.c.expect(elapsed >= 9900 and 9700 <= waited <= 11000, "package exits after the 10 s wait",
                   f"{elapsed} ms after the start, {waited} ms after the setup program started")
        s.c.equal(exit_event["descendants_running"], "1", "setup program still running at the package's exit")
    s.c.equal(at_exit, {"setup": True, "dest": True}, "setup program's file and directory stay at exit")
    s.c.expect(run.first("descendants-done") is not None, "setup program ended later on its own")
    s.c.expect(os.path.exists(s.dest_file(b"SETUP.EXE")), "setup program's file still there afterwards")


def tool_step(s, what, command, **kwargs):
    """Runs one command of the package's making; True when it worked."""
    out = subprocess.run(command, capture_output=True, text=True, **kwargs)
    return s.c.expect(out.returncode == 0, what, " ".join(command) + "\n" + out.stdout + out.stderr)


def pack_with_tool(s, inputs, extra=()):
    """Runs sfx-pack create on a directory holding `inputs` (UTF-8 name -> bytes), giving
    it the top-level names: a file goes in under its name, a directory with its files.
    Returns the package's bytes, or None when sfx-pack failed."""
    source = os.path.join(s.work, "entrada")
    shutil.rmtree(source, ignore_errors=True)
    for name, content in inputs.items():
        path = os.path.join(source, name.decode())
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(content)
    os.makedirs(source, exist_ok=True)
    top = sorted({n.decode().split("/")[0] for n in inputs})
    output = os.path.join(s.work, "paquete.exe")
    command = [s.args.sfx_pack, "create", "--stub", s.args.stub, "--output", output, *extra, *top]
    return open(output, "rb").read() if tool_step(s, "sfx-pack create", command, cwd=source) else None


def certificate_table(data):
    """The PE security directory (offset, size) of an image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    return struct.unpack_from("<II", data, optional + 96 + 4 * 8)  # data directory 4, PE32


def scenario_signed_package(s):
    """A package signed with a certificate made here: the signature goes after the archive."""
    if s.has_sfx_pack:
        plain = pack_with_tool(s, {b"SETUP.EXE": s.setup})
    else:
        print("sfx-pack not built: the package is written by this suite")
        plain = build_package(s.stub, [Entry(b"SETUP.EXE", s.setup)])
    if plain is None:
        return
    unsigned, key, cert, signed = (os.path.join(s.work, n) for n in
                                   ("unsigned.exe", "key.pem", "cert.pem", "signed.exe"))
    open(unsigned, "wb").write(plain)
    if not (tool_step(s, "ran openssl", ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                         "-days", "2", "-subj", "/CN=Velmora Software pruebas",
                                         "-keyout", key, "-out", cert]) and
            tool_step(s, "ran osslsigncode", ["osslsigncode", "sign", "-certs", cert, "-key", key,
                                              "-n", "Paquete de prueba", "-in", unsigned, "-out", signed])):
        return
    data = open(signed, "rb").read()
    offset, size = certificate_table(data)
    s.c.expect(size > 0 and offset >= len(plain) - 8, "signature appended after the archive",
               f"certificate table at {offset}, {size} bytes; package {len(plain)} bytes")
    s.check_package(data, [], installer=s.installer)
    s.c.expect(not os.path.exists(s.dest), "destination directory removed")


def scenario_packed_by_tool(s):
    if not s.has_sfx_pack:
        print(f"sfx-pack not found at {s.args.sfx_pack}: skipped")
        return SKIP
    # A name outside ASCII goes in as UTF-8 with flag bit 11, from files and from the ZIP.
    inputs = {b"SETUP.EXE": s.setup, b"datos/leeme.txt": b"Hola desde el paquete.\r\n",
              b"datos/imagen.bin": os.urandom(50000) + bytes(50000),
              "datos/niño ελληνικά 日本.txt".encode(): b"UTF-8"}
    # The same files as an ordinary ZIP file, for --from-zip.
    zip_path = os.path.join(s.work, "entrada.zip")
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in inputs.items():
            z.writestr(name.decode(), content)
    for variant, extra, given in (("deflate", (), inputs), ("stored", ("--store",), inputs),
                                  ("from zip", ("--from-zip", zip_path), {})):
        data = pack_with_tool(s, given, extra)
        if data is not None:
            s.check_package(data, [], installer=s.installer,
                            files={**{n.decode(): c for n, c in inputs.items()}, "SETUP.EXE": None})
            print(f"{variant}: checked")
    return None


def scenario_branded_package(s):
    """A package with its own texts (sfx-pack create --title, --wait-text, --contact-*) and
    a damaged entry: its caption and wait text in the wait window, its caption and
    contact lines in the fatal message."""
    if not s.has_sfx_pack:
        print(f"sfx-pack not found at {s.args.sfx_pack}: skipped")
        return SKIP
    caption = "\u00d1and\u00fa Soft"
    texts = ["--title", caption, "--wait-text", "Instalando \u00d1and\u00fa.\nUn momento, por favor...",
             "--contact-email2", "ayuda@nandu.example", "--contact-web3=nandu.example/ayuda"]
    damaged = b"dos" * 1000
    data = pack_with_tool(s, {b"SETUP.EXE": s.setup, b"uno.txt": b"uno", b"dos.txt": damaged},
                          ["--store", "--setup", "SETUP.EXE", *texts])
    if data is None:
        return None
    data = bytearray(data)
    data[data.index(scramble(damaged)) + 100] ^= 0x01
    s.wait_title = caption.encode("cp1252").ljust(17)
    s.wait_text = "Instalando \u00d1and\u00fa.\rUn momento, por favor...".encode("cp1252")
    nothing = (b"No puedo reconstruir los archivos de instalaci\xf3n.\r\rNo puc reconstruir els arxius "
               b"d'instal\xb7laci\xf3.\r\rCannot reconstruct installation archives.\r\r"
               b"ayuda@nandu.example\rnandu.example/ayuda\r\rError #SFXNRA#")
    s.check_package(bytes(data), [(s.temp_dir + b"dos.txt", DAMAGED_ENTRY), (caption.encode("cp1252"), nothing)],
                    seen=True, files={b"SETUP.EXE": s.setup, b"uno.txt": None})
    return None


SCENARIOS = {name[len("scenario_"):]: f for name, f in globals().items() if name.startswith("scenario_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("state", "work", "wine", "stub", "driver", "setup"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--sfx-pack", default="")
    parser.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    args = parser.parse_args()
    for option in ("state", "work", "stub", "driver", "setup"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    checks = Checks()
    suite = Suite(args, checks)
    started = time.monotonic()
    if SCENARIOS[args.scenario](suite) == SKIP:
        return SKIP
    print(f"{args.scenario}: {time.monotonic() - started:.1f} s")
    if checks.passed + len(checks.failures) == 0:
        checks.expect(False, "the scenario checked nothing")
    return checks.report()


if __name__ == "__main__":
    sys.exit(main())
