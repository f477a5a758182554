#!/usr/bin/env bash
# Installs the Debian packages Tocsin needs.
#   install-deps.sh           everything: building, running, the tests, CI and the package
#   install-deps.sh --build   only what building and running the program need (scripts/run.sh)
# As root it calls apt-get directly; as a user it goes through sudo.
set -euo pipefail

# Building and running: compiler and build tools, Qt and its French texts, the audio and MIDI
# libraries, the session-manager protocol (liblo), a font for tocsin-render's pictures.
build_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n
  librtaudio-dev librtmidi-dev libsndfile1-dev libsamplerate0-dev
  libjack-jackd2-dev libasound2-dev liblo-dev
  fonts-dejavu-core
)
# The tests, the benchmarks, CI's sanitizer and fuzzing runs and the Debian package's checks:
# their own JACK server and PipeWire, the test and benchmark libraries, a virtual display,
# French locales, the MIDI file reader, the sampled drum kit the recorded-drums tests and the
# detection benchmark build their takes from, clang, lintian, mmdebstrap (a fresh Debian tree
# for the package's check), gdb (backtraces of a crashing test).
test_packages=(
  jackd2 pipewire pipewire-jack wireplumber dbus
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth locales python3 python3-mido hydrogen-data
  clang clang-format clang-tidy libclang-rt-14-dev
  dpkg-dev lintian mmdebstrap gdb
)

case "${1:-}" in
  --build) packages=("${build_packages[@]}") ;;
  "") packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: install-deps.sh [--build]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps.sh: these packages are missing: ${missing[*]}" >&2
    echo "install-deps.sh: run this script as root, or install sudo, to install them" >&2
    exit 1
  fi
  as_root=(sudo -E)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
