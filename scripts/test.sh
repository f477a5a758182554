#!/usr/bin/env bash
# Installs everything the tests need (the test-only packages too), builds everything and runs the
# whole test suite.
# The tests that need a JACK server start and stop their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# The tests and benchmarks are built even in a tree scripts/run.sh made for the program alone.
"$root/scripts/build.sh" build -DTOCSIN_BUILD_TESTS=ON -DTOCSIN_BUILD_BENCH=ON
cd "$root/build"
ctest --output-on-failure -j2 --timeout 600
