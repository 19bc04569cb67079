#!/usr/bin/env bash
# Makes the release into dist/, from this tree (a clean clone: the source tarball is the last
# commit, and every artefact's times are that commit's):
#   kelvra-demo_VERSION_ARCH.deb, libtrelk-dev_VERSION_ARCH.deb   the Debian packages
#   kelvra-demo-VERSION-windows.zip    the Windows program with its DLLs and SDK (reproducible)
#   kelvra-demo-VERSION-web.zip        the page, ready for any static host
#   kelvra-demo-VERSION.tar.gz         the source, from git archive
#   SHA256SUMS                         the checksums of all of them
# Installs the Debian packages it needs first (as demo.sh does). The Windows build needs the
# source archives of its libraries (scripts/windows_deps.sh says where).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}" "${WEB_PACKAGES[@]}" \
    "${WINDOWS_PACKAGES[@]}"
ensure_npm

version=$(sed -n 's/^project(kelvra VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "note: this tree has changes not committed; the source tarball is the last commit" >&2
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
dist=$PWD/dist
rm -rf "$dist"
mkdir -p "$dist"

echo "Debian packages..."
linux=$(scripts/linux_release_build.sh)
scripts/debian_packages.sh "$linux" "$dist" >/dev/null
for deb in "$dist"/*.deb; do
    # lintian's errors stop the release; its warnings are listed in docs/release.md
    if lintian --tag-display-limit 0 "$deb" | tee "$dist/.lintian" | grep '^E:' >&2; then
        echo "lintian reports errors in $deb" >&2
        exit 1
    fi
done
rm -f "$dist/.lintian"

echo "Windows zip..."
cp "$(scripts/windows_build.sh)" "$dist/kelvra-demo-$version-windows.zip"

echo "Web bundle..."
scripts/web_build.sh
scripts/web_bundle.sh build-web/page "$dist/kelvra-demo-$version-web.zip" >/dev/null

echo "Source tarball..."
git archive --format=tar --prefix="kelvra-demo-$version/" HEAD |
    gzip -9n >"$dist/kelvra-demo-$version.tar.gz"

(cd "$dist" && sha256sum -- *.deb *.zip *.tar.gz >SHA256SUMS)
echo "dist/:"
(cd "$dist" && ls -l)
