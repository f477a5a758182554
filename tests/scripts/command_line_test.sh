#!/usr/bin/env bash
# The programs' command lines as a shell runs them, with no display at all: --version and --help
# print and exit 0, a bad option prints the usage on standard error and exits 2.
#   command_line_test.sh PATH_TO_TOCSIN PATH_TO_TOCSIN_RENDER
set -u
tocsin=$1 render=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
bare() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
err=$(mktemp)
trap 'rm -f "$err"' EXIT

out=$(bare timeout 20 "$tocsin" --version 2>"$err"); status=$?
[ $status -eq 0 ] || fail "tocsin --version: exit status $status"
[[ "$out" =~ ^tocsin\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "tocsin --version printed: $out"
[ -s "$err" ] && fail "tocsin --version wrote on standard error: $(cat "$err")"

out=$(bare timeout 20 "$tocsin" --help 2>"$err"); status=$?
[ $status -eq 0 ] || fail "tocsin --help: exit status $status"
for option in --settings --start --jack-name --version; do
  [[ "$out" == *"$option"* ]] || fail "tocsin --help does not name $option"
done

out=$(bare timeout 20 "$tocsin" --frobnicate 2>"$err"); status=$?
[ $status -eq 2 ] || fail "tocsin --frobnicate: exit status $status, not 2"
[ -z "$out" ] || fail "tocsin --frobnicate wrote on standard output: $out"
grep -q "^Usage: " "$err" || fail "tocsin --frobnicate: no usage on standard error: $(cat "$err")"

out=$(bare timeout 20 "$render" --version 2>"$err"); status=$?
[ $status -eq 0 ] || fail "tocsin-render --version: exit status $status"
[[ "$out" =~ ^tocsin-render\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "tocsin-render --version printed: $out"

[ "$failures" -eq 0 ] && echo "command lines: version, help and bad options as they should be"
exit $((failures > 0))
