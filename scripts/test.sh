#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole test suite.
# The tests that need a JACK server start and stop their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build
cd "$root/build"
ctest --output-on-failure -j2 --timeout 600
