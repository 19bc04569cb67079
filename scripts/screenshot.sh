#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture: the demo run headless for 60 frames, its
# last frame captured (320x200) and enlarged twice, nearest neighbour, with PIL
# (Debian's python3-pil, hence /usr/bin/python3).
# Usage: scripts/screenshot.sh [BUILD_FOLDER]   (default: build, as ./demo.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -x "$build/demo/kelvra-demo" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target kelvra-demo assets >/dev/null
fi
capture=$(mktemp --suffix=.png)
trap 'rm -f "$capture"' EXIT
(cd "$build/assets" && TRELK_DISPLAY=headless TRELK_FRAMES=60 TRELK_CAPTURE="$capture" \
    SDL_AUDIODRIVER=dummy ../demo/kelvra-demo </dev/null)
/usr/bin/python3 - "$capture" docs/screenshot.png <<'PY'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
image.resize((image.width * 2, image.height * 2), Image.NEAREST).save(sys.argv[2], optimize=True)
PY
echo "docs/screenshot.png"
