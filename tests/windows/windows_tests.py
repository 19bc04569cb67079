#!/usr/bin/python3
"""The Windows program under Wine, on a virtual X display, in one fresh Wine prefix:
  windows_tests.py SOURCE BUILD ZIP
SOURCE is this tree, BUILD the Windows build folder (exports_check.exe), ZIP the package that
windows_build.sh made. Every check runs the program as a person would get it: from the zip,
unpacked into an empty folder. Prints one line per check; status 1 when one failed."""
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

from PIL import Image

SOURCE, BUILD, ZIP = (os.path.abspath(a) for a in sys.argv[1:4])
OBJDUMP = "x86_64-w64-mingw32-objdump"
TITLE = "kelvra demo"
# What every Windows has: the DLLs the program and its libraries may import without shipping
SYSTEM_DLLS = {
    "advapi32.dll", "cfgmgr32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "setupapi.dll", "shell32.dll", "user32.dll",
    "version.dll", "winmm.dll", "ws2_32.dll", "dinput8.dll", "hid.dll", "shlwapi.dll",
}
failures = []


def check(name):
    def run(function):
        started = time.monotonic()
        try:
            function()
            print(f"ok    {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except (AssertionError, subprocess.TimeoutExpired) as fault:
            print(f"FAIL  {name}: {fault}", flush=True)
            failures.append(name)
        return function
    return run


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Wine:
    """One Wine prefix and one virtual X display for every check of this run"""

    def __init__(self, folder):
        self.folder = folder
        self.xvfb = None
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            number = display.readline().strip()
        assert number, "Xvfb did not start"
        self.env = dict(os.environ, WINEPREFIX=os.path.join(folder, "prefix"), WINEDEBUG="-all",
                        WINEARCH="win64", DISPLAY=":" + number,
                        # No installer of Wine's .NET or browser engine: nothing here needs them
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        for name in list(self.env):
            if name.startswith(("TRELK_", "SDL_")):
                del self.env[name]
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)

    # A program's output goes to files, never to pipes: the Windows services a new wineserver
    # starts inherit the program's handles and hold a pipe open until that server ends, which on
    # a loaded machine can be long after the program (a check once waited its whole minute for
    # a program that had ended). The program's status is its wine process's.
    def run(self, program, folder, timeout=120, arguments=(), **settings):
        env = dict(self.env, **settings)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(["wine", program, *arguments], cwd=folder, env=env,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                status = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(process.args, status, out.read(), err.read())

    def start(self, program, folder, **settings):
        env = dict(self.env, **settings)
        return subprocess.Popen(["wine", program], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def xdotool(self, *arguments, timeout=30):
        return subprocess.run(["xdotool", *arguments], env=self.env, capture_output=True,
                              text=True, timeout=timeout)

    def find_window(self, title, seconds=60):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$")
            if found.stdout.split():
                return found.stdout.split()[0]
            time.sleep(0.2)
        return None

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()


def stop(process):
    if process.poll() is None:
        process.kill()
    process.wait()


def wait_status(process, seconds):
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        stop(process)
        return None
    return process.returncode


def press_close_button(display, window):
    """Sends WM_DELETE_WINDOW to the window, as a window manager's close button does"""
    import ctypes
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 19)]  # the rest of XEvent

    connection = x11.XOpenDisplay(display.encode())
    assert connection, "cannot open the X display"
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = int(window)
    event.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    event.data[1] = 0  # CurrentTime
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XFlush(connection)
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay(connection)


def same_pixels(made, reference):
    image = Image.open(made).convert("RGB")
    expected = Image.open(reference).convert("RGB")
    assert image.size == expected.size, f"size {image.size}, expected {expected.size}"
    if image.tobytes() == expected.tobytes():
        return
    differ = [(x, y) for y in range(image.height) for x in range(image.width)
              if image.getpixel((x, y)) != expected.getpixel((x, y))]
    x, y = differ[0]
    raise AssertionError(f"{len(differ)} pixels differ from {os.path.basename(reference)}; first "
                         f"at ({x}, {y}): {image.getpixel((x, y))}, expected "
                         f"{expected.getpixel((x, y))}")


def dll_imports(path):
    dump = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True).stdout
    return [name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)]


def numbered_entries():
    """name -> number of every numbered entry, read from the library's header"""
    entries, current = {}, None
    with open(os.path.join(SOURCE, "trelk", "library.h")) as header:
        for line in header:
            declared = re.match(r"[A-Za-z][^(]*[ *](trelk_[a-z0-9_]+)\(", line)
            if declared:
                current = declared.group(1)
            number = re.search(r"///< (\d+) ", line)
            if number and current:
                entries[current] = int(number.group(1))
                current = None
    return entries


work = tempfile.mkdtemp(prefix="kelvra-windows-")
wine = None
try:
    # The zip into an empty folder: everything the program needs must come from there
    unpacked = os.path.join(work, "unpacked")
    os.mkdir(unpacked)
    with zipfile.ZipFile(ZIP) as archive:
        archive.extractall(unpacked)
    program_folder = os.path.join(unpacked, "kelvra-demo")
    wine = Wine(work)

    @check("the zip holds the GUI program, its DLLs, picture, module, README and licences")
    def zip_contents():
        names = {n.lower() for n in os.listdir(program_folder)}
        wanted = {"kelvra-demo.exe", "trelk.dll", "midas.dll", "sdl2.dll", "libxmp.dll",
                  "libpng16.dll", "flagga.tga", "bla.xm", "readme.txt", "licences", "sdk",
                  "license.txt", "third_party.txt"}
        assert wanted <= names, f"missing: {sorted(wanted - names)}"
        assert any(n.startswith(("zlib", "libzlib")) and n.endswith(".dll") for n in names), \
            "no zlib DLL"
        licences = set(os.listdir(os.path.join(program_folder, "licences")))
        assert {"SDL2", "libxmp", "libpng", "zlib", "mingw-w64-runtime"} <= licences, \
            f"licences: {sorted(licences)}"
        for folder in licences:
            assert os.listdir(os.path.join(program_folder, "licences", folder)), folder
        # A GUI program: a double-click opens no console window beside the demo's
        dump = subprocess.run([OBJDUMP, "-p", os.path.join(program_folder, "kelvra-demo.exe")],
                              capture_output=True, text=True, check=True).stdout
        assert re.search(r"^Subsystem\s+00000002", dump, re.M), "not a GUI program"

    @check("every DLL the program and its DLLs import is in its folder or part of Windows")
    def dll_closure():
        present = {n.lower() for n in os.listdir(program_folder)}
        missing = []
        for name in sorted(os.listdir(program_folder)):
            if name.lower().endswith((".exe", ".dll")):
                for dll in dll_imports(os.path.join(program_folder, name)):
                    if dll not in present and dll not in SYSTEM_DLLS:
                        missing.append(f"{name} needs {dll}")
        assert not missing, "; ".join(missing)

    @check("headless frames 1, 2 and 300 equal the reference frames pixel for pixel")
    def frames():
        for n in (1, 2, 300):
            frame = os.path.join(work, f"frame_{n}.png")
            run = wine.run("kelvra-demo.exe", program_folder, TRELK_DISPLAY="headless",
                           TRELK_FRAMES=str(n), TRELK_CAPTURE=windows_path(frame),
                           TRELK_ERROR_BOX="0", SDL_AUDIODRIVER="dummy")
            assert run.returncode == 0, \
                f"frame {n}: status {run.returncode}: {run.stderr.decode(errors='replace')}"
            assert os.path.exists(frame), f"frame {n}: no capture written"
            same_pixels(frame, os.path.join(SOURCE, "tests", "data", f"demo_frame_{n:03d}.png"))

    @check("started by its full path from another folder (a shortcut without 'Start in', the "
           "Run box): its files found beside it, the reference frame; its command line")
    def from_another_folder():
        elsewhere = os.path.join(work, "elsewhere")
        os.mkdir(elsewhere)
        program = windows_path(os.path.join(program_folder, "kelvra-demo.exe"))
        frame = os.path.join(work, "elsewhere.png")
        run = wine.run(program, elsewhere, TRELK_DISPLAY="headless", TRELK_FRAMES="1",
                       TRELK_CAPTURE=windows_path(frame), TRELK_ERROR_BOX="0",
                       SDL_AUDIODRIVER="dummy")
        assert run.returncode == 0, f"status {run.returncode}: {run.stderr.decode(errors='replace')}"
        same_pixels(frame, os.path.join(SOURCE, "tests", "data", "demo_frame_001.png"))

        version = re.search(r"project\(kelvra VERSION ([0-9.]+)",
                            open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
        run = wine.run(program, elsewhere, arguments=["--version"], TRELK_ERROR_BOX="0")
        assert (run.returncode, run.stdout) == (0, f"kelvra demo {version}\n".encode()), \
            f"--version: {run.returncode} {run.stdout!r} {run.stderr!r}"
        run = wine.run(program, elsewhere, arguments=["--help"], TRELK_ERROR_BOX="0")
        assert run.returncode == 0 and b"TRELK_DISPLAY=window|terminal|headless" in run.stdout, \
            f"--help: {run.returncode} {run.stdout[:200]!r}"
        run = wine.run(program, elsewhere, arguments=["/bad arg"], TRELK_ERROR_BOX="0")
        assert run.returncode == 2 and \
            b'unknown argument "/bad arg"; try --help' in run.stderr, \
            f"unknown argument: {run.returncode} {run.stderr!r}"
        assert os.listdir(elsewhere) == [], f"written to the working folder: {os.listdir(elsewhere)}"

    @check("the program's icon, and version resources in the program, trelk.dll and midas.dll")
    def resources():
        version = re.search(r"project\(kelvra VERSION ([0-9.]+)",
                            open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
        for name in ("kelvra-demo.exe", "trelk.dll", "midas.dll"):
            path = os.path.join(program_folder, name)
            dump = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True,
                                  check=True).stdout
            # The resource types: the first level of the resource directory, by number
            known = {3: "ICON", 14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}
            section = dump[dump.find("Resource Directory section"):]
            types = {known.get(int(n, 16), n)
                     for n in re.findall(r"^[0-9a-f]{3}   Entry: ID: 0x([0-9a-f]+)", section, re.M)}
            assert "VERSION" in types, f"{name}: no version resource ({sorted(types)})"
            data = open(path, "rb").read()
            for text in ("FileVersion", version, name, "kelvra demo authors"):
                assert text.encode("utf-16-le") in data, f"{name}: the version resource lacks {text}"
            if name.endswith(".exe"):
                assert {"ICON", "GROUP_ICON"} <= types, f"{name}: no icon ({sorted(types)})"
                # The icon file's images are PNGs drawn from the picture: one 256 pixels wide
                png_256 = b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x01\x00\x00\x00\x01\x00"
                assert png_256 in data, f"{name}: no 256-pixel icon image"

    @check("the capture replaces a file, and refuses a folder and a read-only file, untouched")
    def capture_rules():
        def run(target):
            return wine.run("kelvra-demo.exe", program_folder, TRELK_DISPLAY="headless",
                            TRELK_FRAMES="1", TRELK_CAPTURE=windows_path(target),
                            TRELK_ERROR_BOX="0", SDL_AUDIODRIVER="dummy")

        existing = os.path.join(work, "existing.png")
        with open(existing, "wb") as old:
            old.write(b"old contents")
        result = run(existing)
        assert result.returncode == 0, f"over a file: status {result.returncode}"
        same_pixels(existing, os.path.join(SOURCE, "tests", "data", "demo_frame_001.png"))

        folder = os.path.join(work, "a-folder")
        os.mkdir(folder)
        result = run(folder)
        assert result.returncode == 1 and b"TRELK_CAPTURE" in result.stderr, \
            f"a folder: status {result.returncode}: {result.stderr!r}"
        assert os.path.isdir(folder) and not os.listdir(folder), "the folder was changed"

        locked = os.path.join(work, "read-only.png")
        with open(locked, "wb") as old:
            old.write(b"keep me")
        os.chmod(locked, 0o444)
        result = run(locked)
        assert result.returncode == 1 and b"TRELK_CAPTURE" in result.stderr, \
            f"a read-only file: status {result.returncode}: {result.stderr!r}"
        with open(locked, "rb") as kept:
            assert kept.read() == b"keep me", "the read-only file was changed"
        left = [n for n in os.listdir(work) if ".capture-" in n]
        assert not left, f"new files left behind: {left}"

    @check("trelk.dll exports each numbered entry at its number, and the program imports by it")
    def ordinals():
        entries = numbered_entries()
        assert len(entries) > 100, f"only {len(entries)} numbered entries read"
        dump = subprocess.run([OBJDUMP, "-p", os.path.join(program_folder, "trelk.dll")],
                              capture_output=True, text=True, check=True).stdout
        base = int(re.search(r"Ordinal Base\s+(\d+)", dump).group(1))
        table = dump[dump.index("[Ordinal/Name Pointer] Table"):]
        exported = {name: int(index) + base
                    for index, name in re.findall(r"^\s+\[\s*(\d+)\] (\S+)$", table, re.M)}
        wrong = [f"{name} at {exported.get(name)}, not {number}"
                 for name, number in entries.items() if exported.get(name) != number]
        assert not wrong, "; ".join(wrong[:5])
        for name in ("trelk_color_create", "trelk_color_destroy"):
            assert name in exported, f"{name} is not exported by name"

        # The program's import table: from trelk.dll by ordinal only, numbered entries only
        dump = subprocess.run([OBJDUMP, "-p", os.path.join(program_folder, "kelvra-demo.exe")],
                              capture_output=True, text=True, check=True).stdout
        section = dump[dump.index("DLL Name: trelk.dll"):]
        section = section[:section.index("\n\n")]
        # An import by ordinal: the table's entry, then the ordinal, both in hexadecimal
        by_ordinal = [int(o, 16) for o in
                      re.findall(r"^\s+[0-9a-f]+\s+([0-9a-f]+)\s+<none>$", section, re.M)]
        by_name = re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(trelk_\S+)", section, re.M)
        assert by_ordinal, "the program imports nothing from trelk.dll by ordinal"
        assert not by_name, f"imported by name: {by_name[:5]}"
        unknown = set(by_ordinal) - set(entries.values())
        assert not unknown, f"ordinals that are no entry: {sorted(unknown)}"

        # Under Windows' own loader: the same function by number and by name
        check_folder = os.path.join(work, "exports")
        os.mkdir(check_folder)
        for name in os.listdir(program_folder):
            if name.lower().endswith(".dll"):
                shutil.copy(os.path.join(program_folder, name), check_folder)
        shutil.copy(os.path.join(BUILD, "tests", "windows", "exports_check.exe"), check_folder)
        run = subprocess.run(["wine", "exports_check.exe", "trelk.dll",
                              *[f"{name}={number}" for name, number in entries.items()]],
                             cwd=check_folder, env=wine.env, capture_output=True, text=True,
                             timeout=120)
        assert run.returncode == 0, f"status {run.returncode}: {run.stdout} {run.stderr}"
        assert f"{len(entries)} entries, 0 differ" in run.stdout, run.stdout

    @check("without flagga.tga: the message on standard error, status 1, no box with the setting")
    def missing_picture():
        folder = os.path.join(work, "without-picture")
        shutil.copytree(program_folder, folder, ignore=shutil.ignore_patterns("flagga.tga", "sdk"))
        # Wine's own errors shown too, so that a failure says whether Wine lost the program
        run = wine.run("kelvra-demo.exe", folder, timeout=60, TRELK_DISPLAY="headless",
                       TRELK_ERROR_BOX="0", SDL_AUDIODRIVER="dummy", WINEDEBUG="-all,err+all")
        error = run.stderr.decode(errors="replace")
        assert run.returncode == 1, f"status {run.returncode}, standard error: {error!r}"
        assert "could not load image" in error, f"standard error: {error!r}"

        # Without the setting the person sees a message box with the same title; its OK ends it
        process = wine.start("kelvra-demo.exe", folder, TRELK_DISPLAY="headless",
                             SDL_AUDIODRIVER="dummy")
        try:
            box = wine.find_window(TITLE, 60)
            assert box, "no message box titled 'kelvra demo' appeared"
            wine.xdotool("windowfocus", "--sync", box)
            wine.xdotool("key", "--clearmodifiers", "Return")
            status = wait_status(process, 30)
            assert status == 1, f"status {status} after the box was dismissed"
        finally:
            stop(process)

    @check("in a window: titled 'kelvra demo', music written and advancing, a key ends it (0)")
    def window_key_and_music():
        raw = os.path.join(work, "music.raw")
        process = wine.start("kelvra-demo.exe", program_folder, SDL_AUDIODRIVER="disk",
                             SDL_DISKAUDIOFILE=windows_path(raw), TRELK_ERROR_BOX="0")
        try:
            window = wine.find_window(TITLE, 60)
            assert window, "no window titled 'kelvra demo' appeared"
            one_second = 44100 * 4
            deadline = time.monotonic() + 60
            while (not os.path.exists(raw) or os.path.getsize(raw) < one_second) and \
                    time.monotonic() < deadline and process.poll() is None:
                time.sleep(0.1)
            assert process.poll() is None, "the demo ended by itself"
            first = os.path.getsize(raw) if os.path.exists(raw) else 0
            assert first >= one_second, f"{first} bytes of music after a minute"
            time.sleep(1)
            later = os.path.getsize(raw)
            assert later > first, "the music stopped advancing"
            wine.xdotool("windowfocus", "--sync", window)
            wine.xdotool("key", "space")
            status = wait_status(process, 30)
            assert status == 0, f"status {status} after a key"
        finally:
            stop(process)
        with open(raw, "rb") as music:
            data = music.read()
        samples = struct.unpack(f"<{len(data) // 2}h", data[:len(data) // 2 * 2])
        half = 44100  # half a second of stereo samples

        def level(part):
            return math.sqrt(sum(v * v for v in part) / len(part)) / 32768

        assert level(samples) > 0.01, f"the music is (nearly) silent: RMS {level(samples):.4f}"
        assert samples[:half] != samples[half:2 * half], "the music does not advance"

    @check("in a window: the close button ends it with status 0")
    def window_close():
        process = wine.start("kelvra-demo.exe", program_folder, SDL_AUDIODRIVER="dummy",
                             TRELK_ERROR_BOX="0")
        try:
            window = wine.find_window(TITLE, 60)
            assert window, "no window titled 'kelvra demo' appeared"
            time.sleep(1)  # a few frames drawn
            press_close_button(wine.env["DISPLAY"], window)
            status = wait_status(process, 30)
            assert status == 0, f"status {status} after the close button"
        finally:
            stop(process)

    @check("in a console without TERM (Wine's, on a pseudo-terminal): drawn there, a key ends it")
    def console():
        import pty
        import select
        master, slave = pty.openpty()
        env = dict(wine.env, TRELK_DISPLAY="terminal", TRELK_ERROR_BOX="0",
                   SDL_AUDIODRIVER="dummy")
        for name in ("TERM", "COLORTERM", "DISPLAY"):
            env.pop(name, None)
        process = subprocess.Popen(["wine", "kelvra-demo.exe"], cwd=program_folder, env=env,
                                   stdin=slave, stdout=slave, stderr=slave)
        os.close(slave)
        shown, sent, status = b"", None, None
        try:
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and status is None:
                ready, _, _ = select.select([master], [], [], 0.2)
                if ready:
                    try:
                        shown += os.read(master, 1 << 16)
                    except OSError:
                        break
                # Once frames are drawn (the alternate screen, half blocks), one key
                if sent is None and b"\x1b[?1049h" in shown and shown.count("▀".encode()) > 1000:
                    os.write(master, b"q")
                    sent = time.monotonic()
                status = process.poll()
            assert sent, f"nothing drawn in the console: {shown[:200]!r}"
            status = wait_status(process, 30)
            assert status == 0, f"status {status} after a key"
            assert shown.rstrip().endswith(b"\x1b[?1049l\x1b[?25h"), \
                f"the console was not given back: {shown[-60:]!r}"
        finally:
            os.close(master)
            stop(process)

    @check("examples built against the zip's library by find_package (its reference) and pkg-config")
    def example_with_find_package():
        sdk = os.path.join(program_folder, "sdk")
        build = os.path.join(work, "example")
        toolchain = os.path.join(SOURCE, "cmake", "mingw-w64.cmake")
        for command in (
                ["cmake", "-S", os.path.join(SOURCE, "examples"), "-B", build,
                 f"-DCMAKE_TOOLCHAIN_FILE={toolchain}", f"-DCMAKE_FIND_ROOT_PATH={sdk}",
                 "-DCMAKE_BUILD_TYPE=Release"],
                ["cmake", "--build", build, "--target", "sprite", "text", "image", "mouse", "-j",
                 "2"]):
            made = subprocess.run(command, capture_output=True, text=True)
            assert made.returncode == 0, f"{' '.join(command[:2])}: {made.stdout}{made.stderr}"
        for name in os.listdir(program_folder):  # the DLLs a program on trelk ships beside it
            if name.lower().endswith(".dll"):
                shutil.copy(os.path.join(program_folder, name), build)
        frame = os.path.join(work, "sprite.png")
        run = wine.run("sprite.exe", build, TRELK_DISPLAY="headless", TRELK_FRAMES="40",
                       TRELK_CAPTURE=windows_path(frame), TRELK_ERROR_BOX="0")
        assert run.returncode == 0, f"status {run.returncode}: {run.stderr.decode(errors='replace')}"
        same_pixels(frame, os.path.join(SOURCE, "tests", "data", "example_sprite.png"))
        # Shapes, the font and image files through the DLL: text, and image reading a PNG; the
        # mouse and typed text through it: mouse, headless (no pointer: only its bar)
        data = os.path.join(SOURCE, "tests", "data")
        for name, arguments in (("text", []),
                                ("image", [windows_path(os.path.join(data, "font_reference.png"))]),
                                ("mouse", [])):
            frame = os.path.join(work, name + ".png")
            run = wine.run(name + ".exe", build, arguments=arguments, TRELK_DISPLAY="headless",
                           TRELK_FRAMES="40", TRELK_CAPTURE=windows_path(frame),
                           TRELK_ERROR_BOX="0")
            assert run.returncode == 0, \
                f"{name}: status {run.returncode}: {run.stderr.decode(errors='replace')}"
            same_pixels(frame, os.path.join(data, f"example_{name}.png"))

        # A C program, compiled with what pkg-config says of the same library
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "trelk"], capture_output=True,
                               text=True, env=dict(os.environ, PKG_CONFIG_PATH="",
                                                   PKG_CONFIG_LIBDIR=os.path.join(sdk, "lib",
                                                                                  "pkgconfig")))
        assert flags.returncode == 0, f"pkg-config trelk: {flags.stderr}"
        made = subprocess.run(["x86_64-w64-mingw32-gcc-posix", "-O2", "-o",
                               os.path.join(build, "plasma.exe"),
                               os.path.join(SOURCE, "examples", "plasma.c"),
                               *flags.stdout.split()], capture_output=True, text=True)
        assert made.returncode == 0, f"plasma.c with pkg-config: {made.stderr}"
        frame = os.path.join(work, "plasma.png")
        run = wine.run("plasma.exe", build, TRELK_DISPLAY="headless", TRELK_FRAMES="10",
                       TRELK_CAPTURE=windows_path(frame), TRELK_ERROR_BOX="0")
        assert run.returncode == 0 and os.path.exists(frame), \
            f"plasma.exe: status {run.returncode}: {run.stderr.decode(errors='replace')}"
finally:
    if wine:
        wine.close()
    shutil.rmtree(work, ignore_errors=True)

if failures:
    print(f"{len(failures)} Windows checks failed", file=sys.stderr)
    sys.exit(1)
