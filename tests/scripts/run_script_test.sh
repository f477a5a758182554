#!/usr/bin/env bash
# Runs scripts/run.sh in a scratch copy of the tree against stand-ins for cmake and
# install-deps.sh: it asks only for the packages of building and running, configures the build
# tree the first time only, and hands its arguments to the program.
#   run_script_test.sh PATH_TO_RUN_SH
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/tree/scripts" "$work/bin"
cp "$1" "$work/tree/scripts/run.sh"
export LOG="$work/log"
cat >"$work/tree/scripts/install-deps.sh" <<'STUB'
#!/bin/bash
echo "install-deps $*" >>"$LOG"
STUB
# cmake: configuring makes the cache; building makes a program that prints its arguments.
cat >"$work/bin/cmake" <<'STUB'
#!/bin/bash
echo "cmake $*" >>"$LOG"
if [ "$1" = -S ]; then mkdir -p "$4" && touch "$4/CMakeCache.txt"; fi
if [ "$1" = --build ]; then
  mkdir -p "$2/app"
  printf '#!/bin/bash\necho "tocsin $*"\n' >"$2/app/tocsin"
  chmod +x "$2/app/tocsin"
fi
STUB
chmod +x "$work/tree/scripts/"*.sh "$work/bin/cmake"

out=$(PATH="$work/bin:$PATH" bash "$work/tree/scripts/run.sh" --start --jack-name "two words")
[ "$out" = "tocsin --start --jack-name two words" ] || fail "arguments not passed on: $out"
grep -qx "install-deps --build" "$LOG" || fail "not the build-only packages: $(cat "$LOG")"
grep -q "^cmake -S .*-DTOCSIN_BUILD_TESTS=OFF" "$LOG" || fail "first run did not configure"

: >"$LOG"
out=$(PATH="$work/bin:$PATH" bash "$work/tree/scripts/run.sh")
[ "$out" = "tocsin " ] || fail "a run without arguments gave: $out"
grep -q "^cmake -S" "$LOG" && fail "configured again: $(cat "$LOG")"
grep -q "^cmake --build .*--target tocsin" "$LOG" || fail "did not build: $(cat "$LOG")"

[ "$failures" -eq 0 ] && echo "run.sh: installs, configures once, passes its arguments on"
exit $((failures > 0))
