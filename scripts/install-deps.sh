#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Tocsin.
# As root it calls apt-get directly; as a user it goes through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  librtaudio-dev librtmidi-dev libsndfile1-dev libsamplerate0-dev
  jackd2 libjack-jackd2-dev
  pipewire pipewire-jack wireplumber dbus
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core locales python3 python3-mido
  clang clang-format clang-tidy libclang-rt-14-dev
  gdb
)

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
