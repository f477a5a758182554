#!/usr/bin/env bash
# The Debian package on a machine that never saw Tocsin: a minimal Debian 12 tree made with
# mmdebstrap (Debian's own packages, nothing of this machine's), the package installed into it
# with apt-get (which must find every library it depends on), then both programs' --version and
# the window started with no display (Qt's offscreen platform) and still up after 3 seconds.
# Usage: scripts/check-deb-fresh.sh [--if-online] build/tocsin_*.deb   (as root here)
# --if-online: a machine that cannot reach Debian's mirror skips the check, saying so.
set -euo pipefail
if_online=0
[ "${1:-}" = --if-online ] && { if_online=1; shift; }
if [ "$if_online" -eq 1 ] && ! python3 -c 'import urllib.request
urllib.request.urlopen("http://deb.debian.org/debian/dists/bookworm/Release", timeout=20)' \
    2>/dev/null; then
  echo "Debian's mirror cannot be reached: no fresh-tree check of the package"
  exit 0
fi
deb=$(readlink -f "$1")
[ -f "$deb" ] || { echo "no package: $1" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mmdebstrap --quiet --variant=apt bookworm "$work/root.tar" \
  --customize-hook="copy-in $deb /tmp" \
  --customize-hook='chroot "$1" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q '"/tmp/$(basename "$deb")"' >/dev/null' \
  --customize-hook='chroot "$1" tocsin --version' \
  --customize-hook='chroot "$1" tocsin-render --version' \
  --customize-hook='chroot "$1" sh -c "cd /tmp && HOME=/tmp QT_QPA_PLATFORM=offscreen timeout 3 tocsin; s=\$?; [ \$s -eq 124 ] || { echo \"the window ended with status \$s\"; exit 1; }"'
echo "the package installs and runs on a fresh Debian 12"
