#!/usr/bin/env bash
# Makes the release's two Debian packages from a build configured for a system install
# (-DCMAKE_INSTALL_PREFIX=/usr, the demo and the music library on):
#   debian_packages.sh BUILD OUT
#   OUT/kelvra-demo_VERSION_ARCH.deb   the program in /usr/games, its picture and module in
#       /usr/share/games/kelvra-demo, its menu entry, icons (48, 128, 256), manual page
#   OUT/libtrelk-dev_VERSION_ARCH.deb  what `cmake --install` puts under /usr: the headers,
#       the static libraries, the recorder module, the CMake package and the pkg-config files
# Both with the copyright file and the changelog. Their library dependencies are what
# dpkg-shlibdeps reads from the binaries; the development packages libtrelk-dev needs are
# named here. Files are owned by root, their times the commit's (SOURCE_DATE_EPOCH when set).
# Prints the packages' paths.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(sed -n 's/^#define KELVRA_VERSION "\(.*\)"$/\1/p' "$build/generated/kelvra_version.h")
arch=$(dpkg --print-architecture)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null ||
                                                 stat -c %Y CMakeLists.txt)}
maintainer="the kelvra demo authors <authors@kelvra-demo.invalid>"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
    echo "$build is configured for $prefix; the packages need -DCMAKE_INSTALL_PREFIX=/usr" >&2
    exit 1
fi
if ! head -n 1 packaging/debian/changelog | grep -q "^kelvra-demo ($version) "; then
    echo "packaging/debian/changelog has no entry for $version at its top" >&2
    exit 1
fi

# The files every package has: its copyright and changelog
documents() {  # documents ROOT PACKAGE
    local doc=$1/usr/share/doc/$2
    mkdir -p "$doc"
    sed "s/@VERSION@/$version/" packaging/debian/copyright >"$doc/copyright"
    gzip -9n <packaging/debian/changelog >"$doc/changelog.gz"
}

# Library dependencies of the binaries given, as dpkg-shlibdeps finds them
shlibs() {
    rm -rf "$work/shlibs"
    mkdir -p "$work/shlibs/debian"
    printf 'Source: kelvra-demo\n\nPackage: kelvra-demo\nArchitecture: any\n' \
        >"$work/shlibs/debian/control"
    (cd "$work/shlibs" && dpkg-shlibdeps -O "${@/#/-e}" 2>/dev/null) |
        sed -n 's/^shlibs:Depends=//p'
}

# Permissions, times, checksums and the control file, then the package
package() {  # package ROOT NAME SECTION DEPENDS DESCRIPTION...
    local root=$1 name=$2 section=$3 depends=$4
    shift 4
    find "$root" -type d -exec chmod 0755 {} +
    find "$root" -type f -exec chmod 0644 {} +
    for program in "$root"/usr/games/*; do
        [ -f "$program" ] && chmod 0755 "$program"
    done
    mkdir -p "$root/DEBIAN"
    (cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$root/DEBIAN/md5sums"
    {
        echo "Package: $name"
        echo "Version: $version"
        echo "Architecture: $arch"
        echo "Maintainer: $maintainer"
        echo "Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)"
        echo "Depends: $depends"
        echo "Section: $section"
        echo "Priority: optional"
        printf 'Description: %s\n' "$1"
        shift
        for line in "$@"; do printf ' %s\n' "$line"; done
    } >"$root/DEBIAN/control"
    chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
    find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${name}_${version}_${arch}.deb" \
        >/dev/null
    echo "$out/${name}_${version}_${arch}.deb"
}

# kelvra-demo
demo=$work/kelvra-demo
install -D -m 0755 "$build/demo/kelvra-demo" "$demo/usr/games/kelvra-demo"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$demo/usr/games/kelvra-demo"
install -D -m 0644 -t "$demo/usr/share/games/kelvra-demo" "$build/assets/flagga.tga" \
    "$build/assets/bla.xm"
install -D -m 0644 packaging/debian/kelvra-demo.desktop \
    "$demo/usr/share/applications/kelvra-demo.desktop"
for size in 48 128 256; do
    install -D -m 0644 "$build/assets/icons/kelvra-demo-$size.png" \
        "$demo/usr/share/icons/hicolor/${size}x$size/apps/kelvra-demo.png"
done
mkdir -p "$demo/usr/share/man/man6"
/usr/bin/python3 scripts/man_page.py "$build/demo/kelvra-demo" "$version" \
    "$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)" | gzip -9n >"$demo/usr/share/man/man6/kelvra-demo.6.gz"
documents "$demo" kelvra-demo
package "$demo" kelvra-demo games "$(shlibs "$demo/usr/games/kelvra-demo")" \
    "picture shaking under a spinning cube while music plays" \
    "The kelvra demo shows a waving flag that shakes under a spinning white" \
    "cube while music of its own plays. It draws in a window when there is a" \
    "desktop, else in the terminal (in colour, with half blocks), else headless;" \
    "any key ends it. Its settings can capture a frame as PNG or record a video."

# libtrelk-dev
dev=$work/libtrelk-dev
DESTDIR=$dev cmake --install "$build" >/dev/null
find "$dev" -name '*.a' -exec strip --strip-debug --enable-deterministic-archives {} +
find "$dev" -name '*.so' -exec strip --strip-unneeded --remove-section=.comment \
    --remove-section=.note {} +
documents "$dev" libtrelk-dev
modules=$(find "$dev" -name '*.so' | LC_ALL=C sort)
depends="libsdl2-dev, libpng-dev, libxmp-dev, pkg-config"
if [ -n "$modules" ]; then
    # shellcheck disable=SC2086
    depends="$depends, $(shlibs $modules)"
fi
package "$dev" libtrelk-dev libdevel "$depends" \
    "object layer and display library for pixel programs (development files)" \
    "trelk is a C++17 object layer over a display library written in C and C++:" \
    "surfaces of 8 to 32 bits a pixel, palettes, scaled copies with clipping, a" \
    "console that is a window, a terminal or headless, keys, and a PNG capture of" \
    "the last frame. Its music library plays XM, MOD, S3M and IT modules in the" \
    "background." \
    "." \
    "This package holds the headers, the static libraries, the recorder module" \
    "that writes videos through FFmpeg, the CMake package (find_package(trelk))" \
    "and the pkg-config files (trelk, trelk-midas)."
