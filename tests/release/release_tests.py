#!/usr/bin/python3
"""The release's artefacts taken as their users take them:
  release_tests.py SOURCE DEBS WINDOWS_ZIP WINDOWS_ZIP_AGAIN PAGE TARBALL
SOURCE is this tree; DEBS the folder with the two Debian packages (scripts/debian_packages.sh);
WINDOWS_ZIP and WINDOWS_ZIP_AGAIN two builds of the Windows zip from separate build folders;
PAGE the browser build's page folder, packed here into the web bundle; TARBALL the source
tarball (git archive), built here with the README's commands. Where this runs as root,
the packages are also installed with dpkg, used, and removed. Prints one line per check;
status 1 when one failed. (The zip's programs under Wine: tests/windows/windows_tests.py.)"""
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

from PIL import Image

SOURCE, DEBS, WINDOWS_ZIP, WINDOWS_ZIP_AGAIN, PAGE, TARBALL = (
    os.path.abspath(a) for a in sys.argv[1:7])
VERSION = re.search(r"project\(kelvra VERSION ([0-9.]+)",
                    open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
REFERENCES = os.path.join(SOURCE, "tests", "data")
failures = []


def check(name):
    def run(function):
        started = time.monotonic()
        try:
            function()
            print(f"ok    {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except (AssertionError, subprocess.SubprocessError, OSError) as fault:
            print(f"FAIL  {name}: {fault}", flush=True)
            failures.append(name)
        return function
    return run


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, timeout=300, **options)


def deb(name):
    found = glob.glob(os.path.join(DEBS, f"{name}_{VERSION}_*.deb"))
    assert len(found) == 1, f"{name}_{VERSION}_*.deb: {found}"
    return found[0]


def same_pixels(made, reference):
    image = Image.open(made).convert("RGB")
    expected = Image.open(reference).convert("RGB")
    assert image.size == expected.size, f"size {image.size}, expected {expected.size}"
    differ = sum(a != b for a, b in zip(image.getdata(), expected.getdata()))
    assert differ == 0, f"{differ} pixels differ from {os.path.basename(reference)}"


def headless(program, folder, frames, capture, path=None):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("TRELK_", "SDL_"))}
    env.update(TRELK_DISPLAY="headless", TRELK_FRAMES=str(frames), TRELK_CAPTURE=capture,
               SDL_AUDIODRIVER="dummy")
    if path:
        env["PATH"] = path
    return run([program], cwd=folder, env=env)


def arguments(program):
    """--help, --version and an unknown argument, as the program answers them"""
    helped = run([program, "--help"], cwd="/")
    assert helped.returncode == 0 and "TRELK_DISPLAY=window|terminal|headless" in helped.stdout \
        and "Keys:" in helped.stdout, f"--help: {helped.returncode} {helped.stdout[:200]!r}"
    version = run([program, "--version"], cwd="/")
    assert (version.returncode, version.stdout) == (0, f"kelvra demo {VERSION}\n"), \
        f"--version: {version.returncode} {version.stdout!r}"
    wrong = run([program, "--colour"], cwd="/")
    assert (wrong.returncode, wrong.stdout, wrong.stderr) == \
        (2, "", 'unknown argument "--colour"; try --help\n'), \
        f"unknown argument: {wrong.returncode} {wrong.stdout!r} {wrong.stderr!r}"


work = tempfile.mkdtemp(prefix="kelvra-release-")
try:
    demo_deb, dev_deb = deb("kelvra-demo"), deb("libtrelk-dev")

    @check("the packages hold the program, its data, menu entry, icons, manual page, copyright")
    def contents():
        listed = run(["dpkg-deb", "-c", demo_deb], check=True).stdout
        names = {line.split()[-1] for line in listed.splitlines()}
        wanted = {"./usr/games/kelvra-demo", "./usr/share/games/kelvra-demo/flagga.tga",
                  "./usr/share/games/kelvra-demo/bla.xm",
                  "./usr/share/applications/kelvra-demo.desktop",
                  "./usr/share/man/man6/kelvra-demo.6.gz", "./usr/share/doc/kelvra-demo/copyright",
                  "./usr/share/doc/kelvra-demo/changelog.gz",
                  *(f"./usr/share/icons/hicolor/{s}x{s}/apps/kelvra-demo.png"
                    for s in (48, 128, 256))}
        assert wanted <= names, f"kelvra-demo lacks {sorted(wanted - names)}"
        assert all(line.split()[1] == "root/root" for line in listed.splitlines()), \
            "files not owned by root"
        listed = run(["dpkg-deb", "-c", dev_deb], check=True).stdout
        names = {line.split()[-1] for line in listed.splitlines()}
        for pattern in (r"/usr/include/trelk/trelk\.h$", r"/usr/include/trelk/midas\.h$",
                        r"/usr/lib/[^/]+/libtrelk\.a$", r"/usr/lib/[^/]+/libtrelk_display\.a$",
                        r"/usr/lib/[^/]+/libtrelk_midas\.a$",
                        r"/usr/lib/[^/]+/cmake/trelk/trelkConfigVersion\.cmake$",
                        r"/usr/lib/[^/]+/pkgconfig/trelk\.pc$",
                        r"/usr/lib/[^/]+/pkgconfig/trelk-midas\.pc$",
                        r"/usr/share/doc/libtrelk-dev/copyright$"):
            assert any(re.search(pattern, n) for n in names), f"libtrelk-dev lacks {pattern}"
        # Versions, and dependencies read from the binaries (SDL2's and libxmp's libraries)
        fields = run(["dpkg-deb", "-f", demo_deb, "Version", "Depends"], check=True).stdout
        assert f"Version: {VERSION}" in fields and "libsdl2" in fields and "libxmp" in fields, \
            fields
        fields = run(["dpkg-deb", "-f", dev_deb, "Depends"], check=True).stdout
        for needed in ("libsdl2-dev", "libpng-dev", "libxmp-dev"):
            assert needed in fields, f"libtrelk-dev does not depend on {needed}: {fields}"

    unpacked = os.path.join(work, "unpacked")
    run(["dpkg-deb", "-x", demo_deb, unpacked], check=True)
    run(["dpkg-deb", "-x", dev_deb, unpacked], check=True)
    program = os.path.join(unpacked, "usr", "games", "kelvra-demo")

    @check("the unpacked program, started from another folder, gives the reference frames")
    def unpacked_frames():
        elsewhere = os.path.join(work, "elsewhere")
        os.mkdir(elsewhere)
        for n in (1, 2, 300):
            frame = os.path.join(work, f"deb_frame_{n}.png")
            result = headless(program, elsewhere, n, frame)
            assert result.returncode == 0, f"frame {n}: status {result.returncode}: {result.stderr}"
            same_pixels(frame, os.path.join(REFERENCES, f"demo_frame_{n:03d}.png"))
        assert os.listdir(elsewhere) == [], f"left in the working folder: {os.listdir(elsewhere)}"
        arguments(program)

    @check("no file of the packages holds a folder of the machine that built them (but the "
           "archives' intermediate code)")
    def no_build_paths():
        leaks = []
        for folder, _, files in os.walk(unpacked):
            for name in files:
                # GCC's intermediate code in the archives (for link-time optimisation) records
                # the folder each object was compiled in, whatever the prefix maps say
                if name.endswith(".a"):
                    continue
                with open(os.path.join(folder, name), "rb") as packed:
                    data = packed.read()
                for path in (SOURCE, os.path.join(os.path.expanduser("~"), ".cache"), "/tmp/"):
                    if path.encode() in data:
                        leaks.append(f"{os.path.relpath(os.path.join(folder, name), unpacked)}: "
                                     f"{path}")
        assert not leaks, "; ".join(leaks[:8])

    @check("the icons are the picture's, at 48, 128 and 256 pixels; the page's is the 48")
    def icons():
        icons = os.path.join(unpacked, "usr", "share", "icons", "hicolor")
        for size in (48, 128, 256):
            image = Image.open(os.path.join(icons, f"{size}x{size}", "apps", "kelvra-demo.png"))
            assert image.size == (size, size), f"{size}: {image.size}"
            colours = len(set(image.convert("RGB").getdata()))
            assert colours > 50, f"{size}: only {colours} colours"
        page_icon = Image.open(os.path.join(SOURCE, "web", "icon.png")).convert("RGB")
        desktop = Image.open(os.path.join(icons, "48x48", "apps", "kelvra-demo.png"))
        assert page_icon.tobytes() == desktop.convert("RGB").tobytes(), \
            "web/icon.png is not make_icon's 48-pixel icon: draw it again with make_icon 48"

    @check("the manual page has the settings and keys; the pkg-config file names no run path")
    def manual_and_pkg_config():
        page = os.path.join(unpacked, "usr", "share", "man", "man6", "kelvra-demo.6.gz")
        shown = run(["man", "-l", page], env=dict(os.environ, MANWIDTH="100"), check=True).stdout
        shown = re.sub(r".\x08", "", shown)
        for text in ("TRELK_RECORD_SCALE=N", "Alt+Enter, F11", "--version", "/usr/share/games"):
            assert text in shown, f"the manual page lacks {text!r}"
        for pc in glob.glob(os.path.join(unpacked, "usr", "lib", "*", "pkgconfig", "*.pc")):
            text = open(pc).read()
            assert "rpath" not in text, f"{os.path.basename(pc)}: {text}"
            assert f"Version: {VERSION}" in text, f"{os.path.basename(pc)} lacks the version"

    @check("lintian reports no error in either package")
    def lintian():
        result = run(["lintian", "--tag-display-limit", "0", demo_deb, dev_deb])
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        assert not errors, "\n".join(errors)

    @check("the Windows zip: the same bytes from a second build folder, no build path inside")
    def windows_zip():
        with open(WINDOWS_ZIP, "rb") as one, open(WINDOWS_ZIP_AGAIN, "rb") as two:
            first, second = one.read(), two.read()
        if first != second:
            a, b = zipfile.ZipFile(WINDOWS_ZIP), zipfile.ZipFile(WINDOWS_ZIP_AGAIN)
            differ = [i.filename for i in a.infolist()
                      if i.filename not in b.namelist() or a.read(i) != b.read(i.filename)
                      or i.date_time != b.getinfo(i.filename).date_time]
            raise AssertionError(f"the two zips differ: {differ[:8]}")
        with zipfile.ZipFile(WINDOWS_ZIP) as archive:
            names = archive.namelist()
            assert names == sorted(names), "entries not in sorted order"
            leaks = []
            cache = os.path.join(os.path.expanduser("~"), ".cache")
            for name in names:
                data = archive.read(name)
                for path in (SOURCE, cache, "/tmp/", "kelvra-windows/", "build-windows"):
                    if path.encode() in data or path.encode("utf-16-le") in data:
                        leaks.append(f"{name}: {path}")
            assert not leaks, "; ".join(leaks[:8])
            licence = archive.read("kelvra-demo/LICENSE.txt")
            assert licence.count(b"\r\n") == licence.count(b"\n") > 10, "LICENSE.txt not CRLF"
            assert b"kelvra demo authors" in licence
            for name in names:
                if name.endswith(".txt"):
                    text = archive.read(name)
                    assert text.count(b"\r\n") == text.count(b"\n"), f"{name} is not CRLF text"

    @check("the web bundle: the page, LICENSE, the notices and the note for hosts")
    def web_bundle():
        bundle = os.path.join(work, f"kelvra-demo-{VERSION}-web.zip")
        made = run([os.path.join(SOURCE, "scripts", "web_bundle.sh"), PAGE, bundle])
        assert made.returncode == 0, made.stderr
        with zipfile.ZipFile(bundle) as archive:
            names = set(archive.namelist())
            top = f"kelvra-demo-{VERSION}-web/"
            for name in ("index.html", "page.js", "page.css", "icon.png", "kelvra-demo.js",
                         "kelvra-demo.wasm", "kelvra-music.wasm", "music_worklet.js",
                         "LICENSE", "THIRD_PARTY.md", "HOSTING.txt", "libxmp-COPYING.txt"):
                assert top + name in names, f"the bundle lacks {name}"
            assert not any(n.startswith((top + "mouse.", top + "bench_")) for n in names), \
                "the tests' pages are in the bundle"
            page = archive.read(top + "index.html").decode()
            assert f'content="{VERSION}"' in page, "the page does not carry the version"
            assert "<style" not in page and "data:" not in page and "<script>" not in page, \
                "inline style, script or data: address in the page"
            note = archive.read(top + "HOSTING.txt").decode()
            for text in ("text/javascript", "application/wasm", "no-cache", "ETag",
                         "python3 -m http.server"):
                assert text in note, f"HOSTING.txt does not say {text}"

    @check("the source tarball builds the demo with the README's plain commands")
    def source_tarball():
        # Unpacked inside this tree's build folders, so that a compiler cache here is shared
        folder = os.path.join(SOURCE, "build-release", "source")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        run(["tar", "-xzf", TARBALL, "-C", folder], check=True)
        (top,) = os.listdir(folder)
        tree = os.path.join(folder, top)
        assert top == f"kelvra-demo-{VERSION}", top
        assert os.path.isfile(os.path.join(tree, "LICENSE")), "no LICENSE in the tarball"
        readme = open(os.path.join(tree, "README.md")).read()
        commands = re.findall(r"^    (cmake -S \. -B build .*|cmake --build build .*)$", readme, re.M)
        assert len(commands) >= 2, f"the README's commands: {commands}"
        env = dict(os.environ)
        if shutil.which("ccache"):
            env.update(CMAKE_C_COMPILER_LAUNCHER="ccache", CMAKE_CXX_COMPILER_LAUNCHER="ccache")
        for command in commands[:2]:
            made = subprocess.run(command, shell=True, cwd=tree, env=env, capture_output=True,
                                  text=True, timeout=1800)
            assert made.returncode == 0, f"{command}: {made.stdout[-2000:]}{made.stderr[-2000:]}"
        frame = os.path.join(work, "tarball.png")
        result = headless(os.path.join(tree, "build", "demo", "kelvra-demo"),
                          os.path.join(tree, "build", "assets"), 1, frame)
        assert result.returncode == 0, f"status {result.returncode}: {result.stderr}"
        same_pixels(frame, os.path.join(REFERENCES, "demo_frame_001.png"))
        shutil.rmtree(folder, ignore_errors=True)

    if os.geteuid() == 0:
        @check("installed with dpkg: run as kelvra-demo from /, a program built on libtrelk-dev "
               "(find_package and pkg-config), then removed leaving nothing")
        def installed():
            names = ["kelvra-demo", "libtrelk-dev"]
            result = run(["dpkg", "-i", demo_deb, dev_deb])
            assert result.returncode == 0, f"dpkg -i: {result.stdout}{result.stderr}"
            files = []
            try:
                for name in names:
                    listed = run(["dpkg", "-L", name], check=True).stdout.split("\n")
                    files += [f for f in listed if f and os.path.isfile(f)]
                # As a person with /usr/games on their PATH starts it, from /
                path = "/usr/local/bin:/usr/bin:/bin:/usr/games"
                frame = os.path.join(work, "installed_frame.png")
                result = headless(shutil.which("kelvra-demo", path=path), "/", 1, frame, path)
                assert result.returncode == 0, f"status {result.returncode}: {result.stderr}"
                same_pixels(frame, os.path.join(REFERENCES, "demo_frame_001.png"))
                arguments("/usr/games/kelvra-demo")

                # The examples with find_package(trelk 1.0 COMPONENTS midas) from /usr
                build = os.path.join(work, "examples")
                for command in (["cmake", "-S", os.path.join(SOURCE, "examples"), "-B", build,
                                 "-DCMAKE_BUILD_TYPE=Release"],
                                ["cmake", "--build", build, "--target", "sprite", "-j", "2"]):
                    made = run(command)
                    assert made.returncode == 0, f"{' '.join(command[:2])}: {made.stdout}{made.stderr}"
                cache = open(os.path.join(build, "CMakeCache.txt")).read()
                assert re.search(r"trelk_DIR:PATH=/usr/lib/[^/]+/cmake/trelk", cache), \
                    "the examples did not find the installed trelk"
                frame = os.path.join(work, "sprite.png")
                result = headless(os.path.join(build, "sprite"), build, 40, frame)
                assert result.returncode == 0, f"sprite: {result.stderr}"
                same_pixels(frame, os.path.join(REFERENCES, "example_sprite.png"))
                # A version of the same major number is taken; another major one is refused
                for wanted, works in (("1.0", True), ("2.0", False)):
                    project = os.path.join(work, f"wants-{wanted}")
                    os.makedirs(project)
                    with open(os.path.join(project, "CMakeLists.txt"), "w") as lists:
                        lists.write("cmake_minimum_required(VERSION 3.20)\nproject(p CXX)\n"
                                    f"find_package(trelk {wanted} REQUIRED)\n")
                    made = run(["cmake", "-S", project, "-B", os.path.join(project, "b")])
                    assert (made.returncode == 0) == works, \
                        f"find_package(trelk {wanted}): status {made.returncode}"
                # A C program with what pkg-config says of the installed library
                flags = run(["pkg-config", "--cflags", "--libs", "trelk"], check=True).stdout
                plasma = os.path.join(work, "plasma")
                made = run(["cc", "-O2", "-o", plasma, os.path.join(SOURCE, "examples", "plasma.c"),
                            *flags.split()])
                assert made.returncode == 0, f"plasma.c: {made.stderr}"
                frame = os.path.join(work, "plasma.png")
                result = headless(plasma, work, 10, frame)
                assert result.returncode == 0 and os.path.exists(frame), f"plasma: {result.stderr}"
            finally:
                removed = run(["dpkg", "-r", *names])
            assert removed.returncode == 0, f"dpkg -r: {removed.stdout}{removed.stderr}"
            left = [f for f in files if os.path.lexists(f)]
            assert not left, f"left after dpkg -r: {left[:8]}"
            for folder in ("/usr/share/games/kelvra-demo", "/usr/include/trelk"):
                assert not os.path.exists(folder), f"{folder} left after dpkg -r"
    else:
        print("skip  installing with dpkg: not root", flush=True)
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f"{9 + (os.geteuid() == 0) - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
