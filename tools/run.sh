#!/usr/bin/env bash
# Installs what the build needs, builds Hivewatch and starts it.
# The window is not built yet: this runs the headless capture tool, hivewatch-capture, which
# drives the same capture engine. Arguments are passed to it; without any, it captures
# simulated registry activity for ten seconds into hivewatch-demo.hvw and hivewatch-demo.csv.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHW_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build"
echo "Hivewatch's window is not part of this version yet; running hivewatch-capture instead."
if [ $# -eq 0 ]; then
  set -- --seconds 10 --out hivewatch-demo.hvw --csv hivewatch-demo.csv
fi
exec "$root/build/bin/hivewatch-capture" "$@"
