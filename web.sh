#!/usr/bin/env bash
# Installs what is missing, builds the demo for the web browser, and serves its page on this
# machine: open the address it prints. Ctrl-C stops the server. The page takes the display
# library's settings from its address, e.g. ?frames=300 (TRELK_FRAMES) or ?vsync=0.
# PORT=N picks the port (default 8080).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${WEB_PACKAGES[@]}"
ensure_npm
scripts/web_build.sh

port=${PORT:-8080}
echo "kelvra demo: http://localhost:$port/"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/page
