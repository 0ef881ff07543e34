#!/usr/bin/env bash
# Runs ctest with the arguments given, in the current build folder. LeakSanitizer's own
# stop-the-world tracer sometimes crashes at a test process's exit on a loaded machine
# ("Tracer caught signal 11"): that is no finding about the code, so a test that failed only
# that way is run once more. Any other failure fails the run.
set -uo pipefail
if ctest "$@"; then
  exit 0
fi
log=Testing/Temporary/LastTest.log
failed=$(sed -n 's/^[0-9]*:\(.*\)$/\1/p' Testing/Temporary/LastTestsFailed.log 2>/dev/null)
[ -n "$failed" ] || exit 1
retry=()
while IFS= read -r name; do
  # The test's part of the log: from its "Testing:" line to its verdict.
  out=$(awk -v t="Testing: $name" '$0 ~ /Testing: / && substr($0, length($0) - length(t) + 1) == t {on=1}
                                   on {print} on && /^Test (Passed|Failed)/ {exit}' "$log")
  if grep -q "Tracer caught signal" <<<"$out" && ! grep -qE "Failure|ERROR: (Address|Undefined|Leak)Sanitizer: [a-z]|runtime error" <<<"$out"; then
    retry+=("$name")
  else
    echo "run-ctest: $name failed" >&2
    exit 1
  fi
done <<<"$failed"
echo "run-ctest: LeakSanitizer's tracer crashed at the exit of: ${retry[*]}; running them again" >&2
regex=$(printf '^%s$|' "${retry[@]}" | sed 's/[.]/\\./g; s/|$//')
ctest --output-on-failure --timeout 300 -R "$regex"
