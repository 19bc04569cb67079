#!/usr/bin/env python3
"""Fails when a file of the core includes an operating-system header, directly or through a
header of this project; the standard library's own headers may include what they like.

  core_without_os.py SOURCE_ROOT STAMP COMPILER FLAGS... -- FILES...

Each file is compiled with -H (the include tree, one dot per level) and -fsyntax-only; an
operating-system header is any header outside the project named in OS_HEADERS or under sys/,
emscripten/ or the SDL, libpng and libxmp headers. On success STAMP lists the files checked."""
import os
import subprocess
import sys

OS_HEADERS = {"unistd.h", "termios.h", "poll.h", "fcntl.h", "signal.h", "pthread.h", "dlfcn.h",
              "emscripten.h", "SDL.h", "png.h", "xmp.h", "csignal", "windows.h", "io.h"}
OS_FOLDERS = ("sys/", "emscripten/", "SDL2/", "SDL/", "libpng", "bits/syscall")


def is_os_header(path):
    # The name as included: the part after the last include folder
    name = path.replace("\\", "/").split("/include/")[-1]
    if name.startswith("c++/v1/"):
        name = name[len("c++/v1/"):]
    return os.path.basename(name) in OS_HEADERS or name.startswith(OS_FOLDERS)


def main(argv):
    root, stamp, compiler = os.path.realpath(argv[1]), argv[2], argv[3]
    split = argv.index("--")
    flags, files = argv[4:split], argv[split + 1:]
    faults = []
    for source in files:
        run = subprocess.run([compiler, *flags, "-H", "-fsyntax-only", source],
                             capture_output=True, text=True)
        if run.returncode != 0:
            faults.append(f"{source}: does not compile:\n{run.stderr}")
            continue
        parents = [os.path.realpath(source)]  # parents[d]: the file at include depth d
        for line in run.stderr.splitlines():
            dots = len(line) - len(line.lstrip("."))
            if dots == 0 or not line[dots:].startswith(" "):
                continue
            path = os.path.realpath(line[dots + 1:].strip())
            del parents[dots:]
            parent = parents[-1]
            parents.append(path)
            if parent.startswith(root + os.sep) and not path.startswith(root + os.sep) \
                    and is_os_header(path):
                faults.append(f"{os.path.relpath(parent, root)} includes {path}")
    if faults:
        print("the core includes operating-system headers:\n  " + "\n  ".join(faults),
              file=sys.stderr)
        return 1
    with open(stamp, "w") as out:
        out.write("\n".join(os.path.relpath(f, root) for f in files) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
