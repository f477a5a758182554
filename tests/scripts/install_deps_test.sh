#!/usr/bin/env bash
# Runs scripts/install-deps.sh against stand-ins for dpkg-query, apt-get, sudo and id, and checks
# the commands it would run: as root, as a user with sudo, as a user without it.
#   install_deps_test.sh PATH_TO_INSTALL_DEPS
set -u
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# stubs DIR UID WITH_SUDO: a bin folder holding only what the script may call.
stubs() {
  local bin=$1
  mkdir -p "$bin"
  ln -s "$(command -v grep)" "$bin/grep"
  # Every package is installed except those named in $MISSING.
  cat >"$bin/dpkg-query" <<'STUB'
#!/bin/bash
pkg=${!#}
for m in $MISSING; do [ "$m" = "$pkg" ] && { echo "unknown ok not-installed"; exit 0; }; done
echo "install ok installed"
STUB
  cat >"$bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $* [DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}]" >>"$LOG"
[ "$1" != "${APT_FAILS_ON:-}" ]
STUB
  printf '#!/bin/bash\n[ "$1" = -u ] && echo %s\n' "$2" >"$bin/id"
  if [ "$3" = yes ]; then
    cat >"$bin/sudo" <<'STUB'
#!/bin/bash
echo "sudo $*" >>"$LOG"
[ "$1" = -E ] && shift
exec "$@"
STUB
  fi
  chmod +x "$bin"/*
}

# run NAME UID WITH_SUDO MISSING [APT_FAILS_ON]: runs the script (with the words of $ARGS),
# leaves $status, $out and $LOG.
ARGS=""
run() {
  local dir="$work/$1"
  stubs "$dir/bin" "$2" "$3"
  export LOG="$dir/log" MISSING="$4" APT_FAILS_ON="${5:-}"
  : >"$LOG"
  # shellcheck disable=SC2086
  out=$(env -u DEBIAN_FRONTEND PATH="$dir/bin" /bin/bash "$script" $ARGS 2>&1)
  status=$?
}

expect_log() {  # expect_log CASE EXPECTED
  local got
  got=$(cat "$LOG")
  if [ "$got" != "$2" ]; then
    echo "FAIL $1: commands run:"; echo "$got"; echo "expected:"; echo "$2"
    failures=$((failures + 1))
  fi
}

expect_status() {  # expect_status CASE WANT(0|nonzero)
  if { [ "$2" = 0 ] && [ "$status" -ne 0 ]; } || { [ "$2" != 0 ] && [ "$status" -eq 0 ]; }; then
    echo "FAIL $1: exit status $status, output: $out"
    failures=$((failures + 1))
  fi
}

run all-there 1000 yes ""
expect_status all-there 0
expect_log all-there ""

run root 0 yes "cmake locales"
expect_status root 0
expect_log root "apt-get update [DEBIAN_FRONTEND=noninteractive]
apt-get install -y --no-install-recommends cmake locales [DEBIAN_FRONTEND=noninteractive]"

run user 1000 yes "pipewire"
expect_status user 0
expect_log user "sudo -E apt-get update
apt-get update [DEBIAN_FRONTEND=noninteractive]
sudo -E apt-get install -y --no-install-recommends pipewire
apt-get install -y --no-install-recommends pipewire [DEBIAN_FRONTEND=noninteractive]"

run user-without-sudo 1000 no "python3-mido"
expect_status user-without-sudo nonzero
expect_log user-without-sudo ""
case "$out" in
  *python3-mido*root*) ;;
  *) echo "FAIL user-without-sudo: the message names neither the package nor root: $out"
     failures=$((failures + 1)) ;;
esac

# A failed update stops the script before it installs anything.
run update-fails 0 yes "cmake" update
expect_status update-fails nonzero
expect_log update-fails "apt-get update [DEBIAN_FRONTEND=noninteractive]"

# --build: what building and running need, none of the tests' packages.
ARGS="--build"
run build-only 0 yes "cmake liblo-dev qt6-translations-l10n libgtest-dev clang lintian jackd2"
expect_status build-only 0
expect_log build-only "apt-get update [DEBIAN_FRONTEND=noninteractive]
apt-get install -y --no-install-recommends cmake qt6-translations-l10n liblo-dev [DEBIAN_FRONTEND=noninteractive]"
run build-only-nothing-missing 0 yes "libgtest-dev libbenchmark-dev clang-tidy pipewire hydrogen-data"
expect_status build-only-nothing-missing 0
expect_log build-only-nothing-missing ""

# Without it, everything the tests and the package checks use as well.
ARGS=""
run everything 0 yes "liblo-dev libgtest-dev lintian"
expect_status everything 0
expect_log everything "apt-get update [DEBIAN_FRONTEND=noninteractive]
apt-get install -y --no-install-recommends liblo-dev libgtest-dev lintian [DEBIAN_FRONTEND=noninteractive]"

ARGS="--bogus"
run bad-option 0 yes "cmake"
expect_status bad-option nonzero
expect_log bad-option ""
ARGS=""

[ "$failures" -eq 0 ] && echo "install-deps: all cases pass"
exit $((failures > 0))
