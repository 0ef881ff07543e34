#!/usr/bin/env bash
# Installs what the build needs, builds Hivewatch and starts its window. The driver captures
# simulated registry activity unless HIVEWATCH_DRIVER_SOURCE names another source. Arguments
# go to the program (for example a .hvw document to open). On a machine without a display the
# program says so in one line and names hivewatch-capture, which is built alongside.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHW_BUILD_TESTS=OFF \
  -DHW_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" --target hivewatch hivewatch-capture RegDrv
export HIVEWATCH_DRIVER_SOURCE="${HIVEWATCH_DRIVER_SOURCE:-sim}"
exec "$root/build/bin/hivewatch" "$@"
