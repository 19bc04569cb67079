#!/usr/bin/python3
# Runs an example program headless and compares what it made with its reference in tests/data:
#   examples_run.py capture PROGRAM FRAMES REFERENCE.png [ARGUMENT...]
#       the frame saved after FRAMES frames (TRELK_CAPTURE), pixel for pixel (read with PIL);
#       the program is given the arguments
#   examples_run.py keys PROGRAM REFERENCE.txt
#       what the program prints for keys typed at a pseudo-terminal on its standard input
#   examples_run.py mouse PROGRAM
#       the paint program in a window (under a virtual X display): what it prints for clicks,
#       and what it drew
#   examples_run.py music PROGRAM MODULE
#       the program playing MODULE while it draws, until half a second of sound is out, then
#       asked to quit (SIGTERM): it must end with status 0, having drawn frames and made sound
#       that is not silence (SDL's disk audio driver records it)
# EXAMPLES_UPDATE_REFERENCES=1 writes the references instead; look at them before committing.
import os
import pty
import re
import signal
import subprocess
import sys
import tempfile
import termios
import time

from PIL import Image

# The keys typed: a, shift+q, control+a, alt+x, up, control+right, tab, then a lone Escape
KEYS = b"aQ\x01\x1bx\x1b[A\x1b[1;5C\t\x1b"
update = os.environ.get("EXAMPLES_UPDATE_REFERENCES") == "1"


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def headless(**extra):
    env = dict(os.environ, TRELK_DISPLAY="headless")
    env.pop("TRELK_FRAMES", None)
    env.pop("TRELK_CAPTURE", None)
    env.update(extra)
    return env


def capture(program, frames, reference, arguments):
    with tempfile.TemporaryDirectory() as folder:
        frame = os.path.join(folder, "frame.png")
        run = subprocess.run([program] + arguments, env=headless(TRELK_FRAMES=frames, TRELK_CAPTURE=frame),
                             stdin=subprocess.DEVNULL, timeout=60)
        if run.returncode != 0:
            fail(f"{program} ended with status {run.returncode}")
        if not os.path.exists(frame):
            fail(f"{program} saved no frame")
        image = Image.open(frame).convert("RGB")
        if update:
            image.save(reference)
            return
        expected = Image.open(reference).convert("RGB")
        if image.size != expected.size:
            fail(f"size {image.size}, expected {expected.size}")
        differ = [(x, y) for y in range(image.height) for x in range(image.width)
                  if image.getpixel((x, y)) != expected.getpixel((x, y))]
        if differ:
            x, y = differ[0]
            fail(f"{len(differ)} pixels differ from {reference}; first at ({x}, {y}): "
                 f"{image.getpixel((x, y))}, expected {expected.getpixel((x, y))}")


def keys(program, reference):
    master, slave = pty.openpty()
    process = subprocess.Popen([program], env=headless(), stdin=slave, stdout=subprocess.PIPE)
    os.close(slave)
    # Type only once the program has put the terminal in raw mode
    deadline = time.monotonic() + 30
    while termios.tcgetattr(master)[3] & termios.ICANON:
        if time.monotonic() > deadline or process.poll() is not None:
            process.kill()
            fail(f"{program} never put its terminal in raw mode")
        time.sleep(0.01)
    os.write(master, KEYS)
    try:
        output, _ = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        fail(f"{program} did not end on Escape")
    finally:
        os.close(master)
    if process.returncode != 0:
        fail(f"{program} ended with status {process.returncode}")
    text = output.decode()
    if update:
        with open(reference, "w") as out:
            out.write(text)
        return
    with open(reference) as f:
        expected = f.read()
    if text != expected:
        fail(f"printed:\n{text}expected:\n{expected}")


def music(program, module):
    with tempfile.TemporaryDirectory() as folder:
        frame = os.path.join(folder, "frame.png")
        sound = os.path.join(folder, "sound.raw")
        process = subprocess.Popen([program, module], stdin=subprocess.DEVNULL,
                                   env=headless(TRELK_CAPTURE=frame, SDL_AUDIODRIVER="disk",
                                                SDL_DISKAUDIOFILE=sound))
        # Half a second of sound (44.1 kHz, 16-bit stereo) or 30 s, whichever comes first: a
        # loaded machine may take a while to open the audio device
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and process.poll() is None:
            if os.path.exists(sound) and os.path.getsize(sound) >= 88200:
                break
            time.sleep(0.1)
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            fail(f"{program} did not end when asked to quit")
        if process.returncode != 0:
            fail(f"{program} ended with status {process.returncode}")
        if not os.path.exists(frame):
            fail(f"{program} drew no frame")
        if not os.path.exists(sound):
            fail(f"{program} opened no sound device")
        with open(sound, "rb") as f:
            samples = f.read()
        if len(samples) < 88200 or not any(samples):
            fail(f"{program} made {len(samples)} bytes of sound, all silent: {not any(samples)}")


def mouse(program):
    """In a window of the virtual X display: a colour typed, a drag with the left button, a
    right click on its end and a middle click each print their press at the console pixel
    clicked, and the last frame (TRELK_CAPTURE) shows the stroke in that colour, erased at
    its end."""
    def xdotool(*args):
        return subprocess.run(["xdotool", *args], check=True, capture_output=True,
                              text=True, timeout=30).stdout
    with tempfile.TemporaryDirectory() as folder:
        frame = os.path.join(folder, "frame.png")
        env = dict(os.environ, TRELK_DISPLAY="window", TRELK_CAPTURE=frame)
        for name in ("TRELK_FRAMES", "TRELK_SCALE", "TRELK_FULLSCREEN"):
            env.pop(name, None)
        process = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, text=True)
        try:
            window = xdotool("search", "--sync", "--name", "^mouse:").split()[0]
            width = int(re.search(r"Width: (\d+)", xdotool_info(window)).group(1))
            scale = width // 320

            def at(x, y):  # the middle of console pixel (x, y) in the window
                return [str(x * scale + scale // 2), str(y * scale + scale // 2)]

            xdotool("windowfocus", "--sync", window, "type", "3")
            xdotool("mousemove", "--sync", "--window", window, *at(100, 50), "mousedown", "1")
            xdotool("mousemove", "--sync", "--window", window, *at(160, 50), "mouseup", "1")
            xdotool("click", "3")
            xdotool("mousemove", "--sync", "--window", window, *at(200, 100), "click", "2")
            xdotool("key", "Escape")
            output, _ = process.communicate(timeout=30)
        except BaseException:
            process.kill()
            raise
        if process.returncode != 0:
            fail(f"{program} ended with status {process.returncode}")
        presses = "press 100 50 left\npress 160 50 right\npress 200 100 middle\n"
        if output != presses:
            fail(f"printed:\n{output}expected:\n{presses}")
        image = Image.open(frame).convert("RGB")
        want = {(100, 50): (0xe0, 0xa0, 0x30), (130, 51): (0xe0, 0xa0, 0x30),
                (160, 50): (0x10, 0x18, 0x20), (100, 60): (0x10, 0x18, 0x20)}
        for point, colour in want.items():
            if image.getpixel(point) != colour:
                fail(f"pixel {point}: {image.getpixel(point)}, expected {colour}")


def xdotool_info(window):
    return subprocess.run(["xwininfo", "-id", window], check=True, capture_output=True,
                          text=True).stdout


if sys.argv[1] == "capture":
    capture(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
elif sys.argv[1] == "music":
    music(sys.argv[2], sys.argv[3])
elif sys.argv[1] == "mouse":
    mouse(sys.argv[2])
else:
    keys(sys.argv[2], sys.argv[3])
