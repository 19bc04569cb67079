# Installs the Debian packages that are missing; sourced by demo.sh, test.sh and bench.sh.
# Runs apt-get only when something is missing, so a prepared machine starts at once.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "These Debian packages are missing and will be installed with apt-get:"
    echo "    ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Installing them needs root, and sudo is not here: run this as root, or install" \
                "them by hand (README.md: \"Without apt\")." >&2
            return 1
        fi
        echo "That needs root: sudo may ask for your password."
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# What building and running the demo needs (FFmpeg's libraries for recording video)
BUILD_PACKAGES=(build-essential cmake pkg-config libsdl2-dev libxmp-dev libpng-dev
    libavcodec-dev libavformat-dev libavutil-dev libswresample-dev)
# What the tests need besides: GoogleTest, a virtual X display with keys and screenshots, a
# small window manager (full screen is its job), an image library we did not write, an audio
# measurer, tmux, clang's fuzzing runtime, for the browser build Chromium and Emscripten, and
# FFmpeg's programs to read recorded videos back; and a compiler cache, so that a fresh clone's
# builds take what an earlier run compiled
TEST_PACKAGES=(libgtest-dev googletest xvfb xauth xdotool x11-utils matchbox-window-manager
    imagemagick python3 python3-pil sox tmux clang clang-format libclang-rt-14-dev xmp openmpt123
    chromium emscripten ffmpeg ccache)
# What the browser build needs (web.sh): the WebAssembly compiler, make for its CMake build, and
# Java for the Closure Compiler that shrinks its JavaScript
WEB_PACKAGES=(cmake make emscripten python3 default-jre-headless)

# npm, for the browser side's packages (web/package.json). A machine whose node came with its
# own npm keeps it: Debian's npm package would replace that node.
ensure_npm() {
    command -v npm >/dev/null 2>&1 || ensure_packages npm
}
BENCH_PACKAGES=(libbenchmark-dev ffmpeg)
# What release.sh and its tests need besides the builds': Debian's packaging tools
# (dpkg-shlibdeps, lintian), man to read the manual page, and git for the source tarball
RELEASE_PACKAGES=(dpkg-dev lintian man-db git python3)
# What the Windows build needs (windows.sh): mingw-w64's compilers with POSIX threads (their
# C++ library has std::thread), its tools (dlltool, objdump), zip; and to run and test what it
# makes, Wine on a virtual X display with xdotool
WINDOWS_PACKAGES=(cmake make pkg-config g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 mingw-w64-tools zip unzip wine wine64 xvfb xdotool python3
    python3-pil)
