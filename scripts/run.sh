#!/usr/bin/env bash
# Builds Tarvex and starts it: the desktop program when a display is available, otherwise
# tarvex-cli, which prints the codeword listing of a sample page and writes its audio.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -x build/bin/tarvex ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/bin/tarvex "$@"
fi
echo "No display: showing a sample page with tarvex-cli."
build/bin/tarvex-cli listing --ric 1234567 --func 0 --message Hello
echo
build/bin/tarvex-cli wav --ric 1234567 --func 0 --message Hello -o build/sample-page.wav
echo "Audio of the page written to build/sample-page.wav"
