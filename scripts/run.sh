#!/usr/bin/env bash
# Installs what building and running Tocsin need (not the tests' packages), builds the program
# and starts it with this script's arguments: scripts/run.sh --start, scripts/run.sh --help.
# The build tree is configured only the first time; later runs only rebuild what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
"$root/scripts/install-deps.sh" --build
if [ ! -f "$build/CMakeCache.txt" ]; then
  # A tree of the program alone: the tests and benchmarks need packages run.sh does not install
  # (scripts/test.sh configures them in when it runs).
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOCSIN_BUILD_TESTS=OFF -DTOCSIN_BUILD_BENCH=OFF
fi
cmake --build "$build" -j"$(nproc)" --target tocsin tocsin-render
exec "$build/app/tocsin" "$@"
