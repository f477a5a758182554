#!/usr/bin/env bash
# Installs everything the tests need (the test-only packages too), builds everything and runs the
# whole test suite. The tests that need a JACK server (jackd, or PipeWire through its libjack)
# start and stop their own. A test that crashes leaves its backtrace in the log and fails the run
# (scripts/ctest.sh); the log is kept in build/ctest.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# The tests and benchmarks are built even in a tree scripts/run.sh made for the program alone.
"$root/scripts/build.sh" build -DTOCSIN_BUILD_TESTS=ON -DTOCSIN_BUILD_BENCH=ON
"$root/scripts/ctest.sh" "$root/build" -j2 --timeout 600
