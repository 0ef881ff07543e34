#!/usr/bin/env bash
# Makes the README's screenshot: the real window, drawn offscreen, after a few seconds of
# capturing simulated activity, with a row selected. Writes docs/screenshot.png, or the file
# given. Uses a private HOME, so the user's settings and recent files are not touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"
bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHW_BUILD_TESTS=OFF \
  -DHW_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" --target hivewatch RegDrv
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/runtime"
env HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" \
  XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=offscreen \
  HIVEWATCH_DRIVER_SOURCE=sim HIVEWATCH_DRIVER_SEED=7 HIVEWATCH_DRIVER_RATE=2000 \
  "$root/build/bin/hivewatch" --settings "$tmp/setobj.dat" --screenshot "$out" 2>/dev/null
echo "Wrote $out"
