#!/usr/bin/env bash
# Makes a fresh Wine prefix for the tests: tools/make-wine-prefix.sh FOLDER
# Mono and Gecko are skipped; HOME points into the folder so nothing of the real user is
# touched. Without Wine it says so and succeeds: the tests that need Wine skip themselves.
set -euo pipefail
dir="$1"
wine=""
for c in "${WINELOADER:-}" "$(command -v wine || true)" /usr/lib/wine/wine64 /usr/lib/wine/wine; do
  if [ -n "$c" ] && [ -x "$c" ]; then wine="$c"; break; fi
done
if [ -z "$wine" ]; then
  echo "Wine is not installed: the Wine end-to-end tests will be skipped"
  exit 0
fi
# Made once per build; the mark tells a prefix made by this version of the script.
mark="$dir/prefix/.hivewatch-test-prefix-2"
if [ -f "$mark" ]; then
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir/home"
# Sanitizer runtimes of the test build must not be preloaded into Wine's own programs.
unset LD_PRELOAD
export HOME="$dir/home" WINEPREFIX="$dir/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
"$wine" wineboot -i >"$dir/wineboot.log" 2>&1
# No display here: windowed programs (Notepad) run with Wine's null graphics driver.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$dir/wineboot.log" 2>&1
server=""
for c in "${WINESERVER:-}" "$(command -v wineserver || true)" /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if [ -n "$c" ] && [ -x "$c" ]; then server="$c"; break; fi
done
# The registry files are written when the server ends.
"$server" -w
test -f "$WINEPREFIX/system.reg"
touch "$mark"
echo "Wine prefix ready in $WINEPREFIX"
