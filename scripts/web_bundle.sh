#!/usr/bin/env bash
# Packs the built page for any static host:
#   web_bundle.sh PAGE ZIP
# PAGE is the browser build's page folder (build-web/page); the zip holds one folder named
# after it (kelvra-demo-VERSION-web/) with the page's files, LICENSE, THIRD_PARTY.md and
# HOSTING.txt (what the server must send). Reproducible, as the Windows zip is: sorted entries
# with the commit's time (SOURCE_DATE_EPOCH when set).
set -euo pipefail
cd "$(dirname "$0")/.."
page=$(cd "$1" && pwd)
zip=$2
name=$(basename "$zip" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/$name"
for file in "$page"/*; do
    case $(basename "$file") in
        bench_* | mouse.*) ;;  # the benchmark pages (TRELK_BENCH), the mouse tests' page
        *) cp "$file" "$work/$name/" ;;
    esac
done
for file in index.html kelvra-demo.js kelvra-demo.wasm kelvra-music.wasm music_worklet.js; do
    [ -f "$work/$name/$file" ] || { echo "$page has no $file: build the page first" >&2; exit 1; }
done
cp LICENSE THIRD_PARTY.md web/HOSTING.txt "$work/$name/"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)}
/usr/bin/python3 scripts/reproducible_zip.py "$zip" "$work/$name" "$epoch"
echo "$zip"
