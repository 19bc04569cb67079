#!/usr/bin/env python3
"""The demo in a tmux pane, on the terminal back end chosen automatically (no window system):
what the pane shows, and that a key, Ctrl-C, SIGTERM and SIGHUP each end it with status 0 and
leave the pane as the shell had it: main screen, cursor visible, earlier output still there.

The demo never asks for the mouse, so the terminal's mouse reporting stays off. The scenario
mouse runs the paint program of examples/mouse in the pane instead: reporting on from its start,
a press reported at the console pixel of its cell (even when the report comes in two parts),
off while it is stopped by Ctrl-Z, on again after fg, and off when it ends.

Usage: terminal_tmux.py DEMO ASSETS_DIR SCENARIO, SCENARIO one of: key, resize, palette, repaint,
hangup, suspend, mouse (DEMO is then the paint program).
Each run has a tmux server of its own (tmux -L) that it kills at the end."""
import os
import re
import subprocess
import sys
import time

DEMO, ASSETS, SCENARIO = sys.argv[1], sys.argv[2], sys.argv[3]
SOCKET = None  # the tmux server of the current start(); every one is killed at the end
SOCKETS = []
MARKER = "before-the-demo"


def tmux(*args):
    return subprocess.run(["tmux", "-L", SOCKET, "-f", "/dev/null", *args], check=True,
                          capture_output=True, text=True).stdout


def fail(message):
    print("FAIL:", message)
    print(tmux("capture-pane", "-p"))
    sys.exit(1)


def cells():
    """The pane's cells as rows of (character, foreground, background); a colour is None for
    the default, ('rgb', r, g, b) or ('index', n)."""
    rows = []
    fg = bg = None  # tmux gives a colour once, not again at the start of the next line
    for line in tmux("capture-pane", "-e", "-p").split("\n"):
        row, i = [], 0
        while i < len(line):
            m = re.match(r"\x1b\[([0-9;:]*)m", line[i:])
            if not m:
                row.append((line[i], fg, bg))
                i += 1
                continue
            i += m.end()
            p = [int(x) if x else 0 for x in re.split("[;:]", m.group(1))]
            j = 0
            while j < len(p):
                if p[j] in (38, 48) and j + 2 < len(p):
                    direct = p[j + 1] == 2
                    colour = ("rgb", *p[j + 2:j + 5]) if direct else ("index", p[j + 2])
                    if p[j] == 38:
                        fg = colour
                    else:
                        bg = colour
                    j += 5 if direct else 3
                    continue
                if p[j] == 0:
                    fg = bg = None
                elif p[j] == 39:
                    fg = None
                elif p[j] == 49:
                    bg = None
                j += 1
        rows.append(row)
    return rows


def picture_box(rows):
    """(left, top, width, height) of the cells that show colour, or None"""
    hits = [(x, y) for y, row in enumerate(rows) for x, c in enumerate(row)
            if c[2] is not None or (c[0] != " " and c[1] is not None)]
    if not hits:
        return None
    xs, ys = [h[0] for h in hits], [h[1] for h in hits]
    return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


def wait_for(what, test, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        got = test()
        if got:
            return got
        time.sleep(0.2)
    fail("waited %d s for %s" % (seconds, what))


def start(colorterm):
    global SOCKET
    SOCKET = "trelk-terminal-%d-%s-%d" % (os.getpid(), SCENARIO, len(SOCKETS))
    SOCKETS.append(SOCKET)
    tmux("new-session", "-d", "-x", "100", "-y", "40", "-c", ASSETS, "sh")
    tmux("set", "-g", "status", "off")
    settings = "COLORTERM=%s" % colorterm if colorterm else "-u COLORTERM"
    # Sound goes to no device, and the sanitizer's leak report is left to the demo's own tests:
    # SDL's audio keeps allocations to the end of the process
    command = ("PS1='$ '; clear; echo %s; env -u DISPLAY -u WAYLAND_DISPLAY -u TRELK_DISPLAY "
               "%s SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 %s; echo status=$?"
               % (MARKER, settings, DEMO))
    tmux("send-keys", command, "Enter")
    wait_for("the demo on the alternate screen",
             lambda: tmux("display", "-p", "#{alternate_on}").strip() == "1" and
             picture_box(cells()) is not None)


def demo_pid():
    shell = tmux("display", "-p", "#{pane_pid}").strip()
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                if f.read().rsplit(")", 1)[1].split()[1] == shell:
                    return int(entry)
        except (OSError, IndexError, ValueError):
            continue
    fail("no demo process under the pane's shell")


def expect_box(want):
    wait_for("the picture at %s" % (want,), lambda: picture_box(cells()) == want, 10)


def expect_restored(how):
    text = wait_for("the demo to end after " + how,
                    lambda: (lambda t: t if re.search(r"^status=", t, re.M) else None)(
                        tmux("capture-pane", "-p")))
    if not re.search(r"^status=0$", text, re.M):
        fail("after %s the demo did not end with status 0" % how)
    state = tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split()
    if state != ["0", "1"]:
        fail("after %s: alternate screen %s, cursor visible %s" % (how, state[0], state[1]))
    if MARKER not in text or picture_box(cells()) is not None:
        fail("after %s the shell's screen is not as it was" % how)


def mouse_reporting():
    """The pane's mouse reporting as the program set it: "any motion, SGR" on or off"""
    return tmux("display", "-p", "#{mouse_any_flag} #{mouse_sgr_flag}").split()


def rgb_count(rows, test):
    return sum(1 for row in rows for c in row for colour in (c[1], c[2])
               if colour and colour[0] == "rgb" and test(*colour[1:]))


try:
    if SCENARIO == "key":
        start("truecolor")
        expect_box((0, 4, 100, 31))
        rows = cells()
        white = rgb_count(rows, lambda r, g, b: (r, g, b) == (255, 255, 255))
        teal = rgb_count(rows, lambda r, g, b: g > r + 60 and b > r + 60)
        gold = rgb_count(rows, lambda r, g, b: r > 180 and g > 130 and b < 100)
        if white < 20 or teal < 50 or gold < 20:
            fail("white %d, teal %d, gold %d half cells" % (white, teal, gold))
        if mouse_reporting() != ["0", "0"]:
            fail("the demo, which never asks for the mouse, switched its reporting on")
        tmux("send-keys", "x")
        expect_restored("a key")
    elif SCENARIO == "resize":
        start("truecolor")
        tmux("resize-window", "-x", "60", "-y", "40")
        expect_box((0, 10, 60, 19))
        tmux("resize-window", "-x", "100", "-y", "20")
        expect_box((18, 0, 64, 20))
        os.kill(demo_pid(), 15)
        expect_restored("SIGTERM")
    elif SCENARIO == "palette":
        start(None)
        rows = cells()
        colours = {colour for row in rows for c in row for colour in c[1:] if colour}
        if any(c[0] == "rgb" for c in colours) or ("index", 231) not in colours:
            fail("not the 256 colours with white: %s" % sorted(colours)[:20])
        tmux("send-keys", "C-c")
        expect_restored("Ctrl-C")
    elif SCENARIO == "repaint":
        # Other output over the picture: ten lines scroll it up, then a line is written into
        # the margin above it. The picture mends itself; then again at once with Ctrl-L, which
        # is no key: the demo goes on until a key.
        start("truecolor")
        expect_box((0, 4, 100, 31))
        tty = tmux("display", "-p", "#{pane_tty}").strip()

        def mended():
            return picture_box(cells()) == (0, 4, 100, 31) and \
                "foreign" not in tmux("capture-pane", "-p")

        for keys in (None, "C-l"):
            with open(tty, "w") as terminal:
                terminal.write("\x1b[m\x1b[40;1H" + "\n" * 10 + "\x1b[2;1Hforeign output")
            if keys:
                tmux("send-keys", keys)
            wait_for("the picture mended after other output", mended, 10)
        time.sleep(0.5)
        if tmux("display", "-p", "#{alternate_on}").strip() != "1":
            fail("Ctrl-L ended the demo")
        tmux("send-keys", "x")
        expect_restored("a key")
    elif SCENARIO == "hangup":
        start("truecolor")
        os.kill(demo_pid(), 1)
        expect_restored("SIGHUP")
        # The terminal really gone: the demo ends rather than wait on it
        start("truecolor")
        pid = demo_pid()
        tmux("kill-pane")
        wait_for("the demo to end without its terminal",
                 lambda: not os.path.exists("/proc/%d" % pid) or
                 open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()[0] == "Z", 10)
    elif SCENARIO == "suspend":
        # Ctrl-Z gives the shell its screen back while the demo is stopped; fg brings the demo
        # back, drawn whole, and a key then ends it normally
        start("truecolor")
        tmux("send-keys", "C-z")
        wait_for("the shell's screen while the demo is stopped",
                 lambda: tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split() ==
                 ["0", "1"] and MARKER in tmux("capture-pane", "-p"))
        tmux("send-keys", "stty -a | grep -o -- '-\\?icanon' ", "Enter")
        wait_for("the shell's line mode while the demo is stopped",
                 lambda: re.search(r"^icanon\s*$", tmux("capture-pane", "-p"), re.M))
        tmux("send-keys", "fg", "Enter")
        wait_for("the demo drawn again after fg",
                 lambda: tmux("display", "-p", "#{alternate_on}").strip() == "1" and
                 picture_box(cells()) == (0, 4, 100, 31))
        tmux("send-keys", "x")
        # The stopped job has already let the shell go on ("status=148"): fg's own status
        # tells how the demo ended
        # The shell's prompt, not only its screen: what is typed before the demo has ended
        # would reach the demo or be echoed ahead of the prompt
        wait_for("the shell's prompt after the demo ended",
                 lambda: tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split() ==
                 ["0", "1"] and picture_box(cells()) is None and
                 tmux("capture-pane", "-p").rstrip().split("\n")[-1].rstrip() == "$")
        tmux("send-keys", "echo resumed=$?", "Enter")
        text = wait_for("the demo's status after fg",
                        lambda: (lambda t: t if re.search(r"^resumed=", t, re.M) else None)(
                            tmux("capture-pane", "-p")))
        if not re.search(r"^resumed=0$", text, re.M):
            fail("after Ctrl-Z, fg and a key the demo did not end with status 0")
    elif SCENARIO == "mouse":
        log = "/tmp/trelk-mouse-%d.log" % os.getpid()
        start("truecolor")
        tmux("pipe-pane", "-o", "cat >> " + log)
        wait_for("mouse reporting on", lambda: mouse_reporting() == ["1", "1"], 10)

        def hex_keys(text):
            return ["%02x" % ord(c) for c in text]

        # Column 51, row 11 (from 1) is cell (50, 10) of a 320 x 200 picture in 100 x 62
        # half cells from row 4: the pixel under its centre is (161, 41). The press comes in two
        # writes, the release whole.
        tmux("send-keys", "-H", *hex_keys("\x1b[<0;51;"))
        tmux("send-keys", "-H", *hex_keys("11M\x1b[<0;51;11m"))
        wait_for("the press printed",
                 lambda: os.path.exists(log) and "press 161 41 left" in open(log).read(), 10)
        tmux("send-keys", "C-z")
        wait_for("mouse reporting off while stopped",
                 lambda: tmux("display", "-p", "#{alternate_on}").strip() == "0" and
                 mouse_reporting() == ["0", "0"])
        tmux("send-keys", "fg", "Enter")
        wait_for("mouse reporting on again after fg",
                 lambda: tmux("display", "-p", "#{alternate_on}").strip() == "1" and
                 mouse_reporting() == ["1", "1"])
        tmux("send-keys", "Escape")
        wait_for("the program ended and its mouse reporting off",
                 lambda: tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split() ==
                 ["0", "1"] and mouse_reporting() == ["0", "0"])
        if os.path.exists(log):
            os.unlink(log)
    else:
        fail("no scenario " + SCENARIO)
finally:
    folder = os.path.join(os.environ.get("TMUX_TMPDIR", "/tmp"), "tmux-%d" % os.getuid())
    for socket in SOCKETS:
        subprocess.run(["tmux", "-L", socket, "kill-server"], capture_output=True)
        if os.path.exists(os.path.join(folder, socket)):
            os.unlink(os.path.join(folder, socket))
print("ok:", SCENARIO)
