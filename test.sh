#!/usr/bin/env bash
# Installs what is missing, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

# Each stage prints its name and wall time as it ends, then the run its total
source scripts/stage_times.sh

stage packages
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WEB_PACKAGES[@]}" \
    "${WINDOWS_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}"
ensure_npm
# Every build below goes through the compiler cache (the Windows build's own as well), so a
# fresh clone compiles only what no earlier run has compiled
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache}
    # Paths inside this clone count as relative ones, and the folder a compiler runs in is not
    # part of what is cached (it is, by default, for builds with debug information: the
    # sanitizers' and the fuzzers'): so a clone in another place finds what an earlier clone
    # compiled. Their debug information may then name that earlier clone's folders; these
    # builds are tested here and never shipped (the release's own builds map their folders away)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR-$PWD}
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR-1}
fi
stage format
scripts/check_format.sh
# trelk as other programs use it: installed (find_package, pkg-config) and as a subfolder
stage consumers
scripts/check_consumers.sh

# The browser build, and its page in headless Chromium against the desktop's reference frames
stage "web build and tests"
scripts/web_build.sh
node --test tests/web/

# The Windows program, cross-built with its zip, and the zip's program under Wine (its libraries
# are built once and kept under ~/.cache/kelvra-windows)
stage "Windows build and tests"
scripts/windows_build.sh >/dev/null
/usr/bin/python3 tests/windows/windows_tests.py . build-windows/build \
    build-windows/kelvra-demo-windows.zip

# The release's artefacts as their users take them: the Debian packages from a Release build
# for /usr (installed and removed again where this runs as root), the Windows zip built again
# in another folder (it must be the same bytes), the web bundle from the page built above, and
# the source tarball built with the README's commands
stage "release artefacts"
version=$(sed -n 's/^project(kelvra VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
linux=$(scripts/linux_release_build.sh)
rm -rf build-release/dist
scripts/debian_packages.sh "$linux" build-release/dist >/dev/null
TRELK_WINDOWS_OUT=build-release/windows scripts/windows_build.sh >/dev/null
git archive --format=tar --prefix="kelvra-demo-$version/" HEAD | gzip -n >build-release/source.tar.gz
/usr/bin/python3 tests/release/release_tests.py . build-release/dist \
    build-windows/kelvra-demo-windows.zip build-release/windows/kelvra-demo-windows.zip \
    build-web/page build-release/source.tar.gz

# The fuzz targets: a clang build with libFuzzer, each target run for a short fixed time from
# its corpus (the long runs are in reliability.sh). Their inputs also replay as tests below.
stage fuzzing
fuzz_build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz_build" -DTRELK_FUZZ=ON -DTRELK_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$fuzz_build" -j "$(nproc)" --target fuzz_targets
fuzz/run_fuzzers.sh "$fuzz_build" "${TRELK_FUZZ_SECONDS:-20}"

# Threads on their own objects and on a shared one, under ThreadSanitizer
stage ThreadSanitizer
tsan_build=build-tsan
cmake -S . -B "$tsan_build" -DTRELK_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$tsan_build" -j "$(nproc)" --target display_thread_tests
TRELK_DISPLAY=headless TSAN_OPTIONS=halt_on_error=1 "$tsan_build/tests/display_thread_tests"

stage "sanitizer build"
build=build-test
cmake -S . -B "$build" -DTRELK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
stage CTest
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
stage ""
