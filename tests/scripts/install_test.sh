#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and checks what a desktop needs to offer Tocsin in
# its menu: the program on the path, a valid menu entry naming it, its icon, and the manual
# pages.
#   install_test.sh BUILD_DIR
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
[ -x "$prefix/bin/tocsin" ] || fail "no executable bin/tocsin"
[ -x "$prefix/bin/tocsin-render" ] || fail "no executable bin/tocsin-render"
entry="$prefix/share/applications/tocsin.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/tocsin.svg"
[ -f "$entry" ] || fail "no menu entry"
[ -f "$icon" ] || fail "no scalable icon"
for page in tocsin tocsin-render; do
  man="$prefix/share/man/man1/$page.1.gz"
  if [ ! -f "$man" ]; then fail "no manual page $page(1)"; continue; fi
  gzip -dc "$man" | grep -q "^\.SH OPTIONS" || fail "$page(1) is no compressed manual page"
done
[ -f "$prefix/share/doc/tocsin/copyright" ] || fail "no copyright file"

python3 - "$entry" "$icon" <<'PY' || failures=$((failures + 1))
import configparser, sys, xml.etree.ElementTree as ET
entry = configparser.ConfigParser(interpolation=None)
entry.optionxform = str
entry.read(sys.argv[1], encoding="utf-8")
e = entry["Desktop Entry"]
problems = []
if e.get("Type") != "Application": problems.append("Type is not Application")
if e.get("Exec", "").split()[0:1] != ["tocsin"]: problems.append("Exec does not start tocsin")
if e.get("Icon") != "tocsin": problems.append("Icon does not name the installed icon")
categories = e.get("Categories", "").rstrip(";").split(";")
for c in ("AudioVideo", "Audio", "Midi"):
    if c not in categories: problems.append("category %s missing" % c)
for key in ("Name", "Comment"):
    if not e.get(key): problems.append(key + " missing")
if "audio" not in e.get("Comment", "") or "MIDI" not in e.get("Comment", ""):
    problems.append("the comment does not say what the program does, in French")
root = ET.parse(sys.argv[2]).getroot()
if not root.tag.endswith("svg") or not root.get("viewBox"): problems.append("the icon is no scalable SVG")
for p in problems: print("FAIL:", p)
sys.exit(1 if problems else 0)
PY

[ "$failures" -eq 0 ] && echo "install: programs, menu entry, icon and manual pages in place"
exit $((failures > 0))
