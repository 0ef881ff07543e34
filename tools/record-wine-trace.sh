#!/usr/bin/env bash
# Records a Wine server trace like tests/data/wine_trace_reg_ops.txt, to be made again with a
# newer Wine:  tools/record-wine-trace.sh OUT.txt [IMPORT.reg]
# A fresh prefix is made in a temporary folder (Mono and Gecko skipped), its server is started
# as `wineserver -f -d1 -p` with standard error written to OUT.txt, and the reg and regedit
# commands of the recorded trace run one after the other; then the server is ended.
# IMPORT.reg defaults to tests/data/wine_trace_reg_ops_import.reg.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "$1")"
import="$(realpath "${2:-$root/tests/data/wine_trace_reg_ops_import.reg}")"
find_wine() {
  for c in "$@"; do if [ -n "$c" ] && [ -x "$c" ]; then echo "$c"; return; fi; done
  echo "Wine is not installed (on Debian: apt-get install wine64)" >&2; exit 1
}
wine="$(find_wine "$(command -v wine || true)" /usr/lib/wine/wine64 /usr/lib/wine/wine)"
server="$(find_wine "$(command -v wineserver || true)" /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/user"
export HOME="$work/home/user" USER=user LANG=C.UTF-8 WINEDEBUG=-all
export WINEPREFIX="$HOME/.wine" WINEDLLOVERRIDES="mscoree,mshtml="
unset LD_PRELOAD
"$wine" wineboot -i >/dev/null 2>&1
"$server" -w
cp "$import" "$HOME/import.reg"
"$server" -f -d1 -p 2>"$out" &
pid=$!
sleep 1

key='HKCU\Software\HwTrace'
"$wine" reg add "$key" /v Answer /t REG_DWORD /d 42 /f
"$wine" reg add "$key" /v Answer /t REG_DWORD /d 43 /f
"$wine" reg query "$key" /v Answer
"$wine" reg query "$key\\Missing" || true
"$wine" regedit /S "Z:${HOME//\//\\}\\import.reg"
"$wine" reg delete "$key" /v Answer /f
"$wine" reg delete "$key" /f
kill -INT "$pid" # as wineserver -k: programs end, the registry is saved
wait "$pid" || true
echo "wrote $(wc -l <"$out") lines to $out (Wine $("$wine" --version))"
