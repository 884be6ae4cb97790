#!/usr/bin/env bash
# The Debian package tried as an office gets it:
#   tests/desk/package-test.sh [BUILD]      (default build/; run as root, CI runs it)
# builds the package in BUILD (cmake --build BUILD --target package), checks it with
# lintian (no error), installs it with dpkg, puts the demo database where the settings in
# /etc/kov look for it, and runs the installed kov120 under Xvfb as a new unprivileged
# user, for whom /usr/lib/kov is read-only: F6 prints the first block of the monthly-paid
# staff to ~/帳票 (the package's PdfFolder), F10 ends with status 0. The PDF is checked
# with poppler. `man` finds a page for every installed program, ovlprint is on the PATH and
# README and the administrator's guide (docs/admin.md) are in /usr/share/doc/kov. Every
# packaged program passes hardening-check (devscripts), and the package is reproducible:
# the tracked sources copied into another folder and built again there (programs only,
# KOV_BUILD_TESTS=OFF) give the same .deb byte for byte (diffoscope names what differs).
# The package is purged and the user removed again, also on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
say() { echo "package test: $*"; }
if [ "$(id -u)" -ne 0 ]; then say "skipped (installing a package needs root)"; exit 0; fi
if dpkg-query -W -f='${Status}' kov 2>/dev/null | grep -q "ok installed"; then
  say "the package kov is installed on this machine already; it is left alone"; exit 1
fi

# git of this checkout, whoever owns it (CI runs as root).
gitc() { git -c safe.directory="$PWD" "$@"; }
# One time for every file of both packages: the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && gitc rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(gitc log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
cmake --build "$build" --target package
deb=$(ls -t "$build"/kov_*.deb | head -1)
lintian --fail-on error "$deb"

user=kovclerk$$
work=$(mktemp -d)
chmod 755 "$work"
xpid="" ppid="" again=""
cleanup() {
  set +e
  [ -n "$again" ] && rm -rf "$again"
  [ -n "$ppid" ] && kill "$ppid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  dpkg --purge kov >/dev/null 2>&1
  rm -f /var/lib/kov/kov.db /var/lib/kov/kovenv.db
  rmdir /var/lib/kov 2>/dev/null
  id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { say "FAILED: $*"; [ -f "$work/kov120.log" ] && sed 's/^/  kov120: /' "$work/kov120.log"; exit 1; }

# Hardened: fortified libc calls, stack protector, PIE, read-only relocations bound at
# start. Control-flow protection is no flag of dpkg-buildflags here (and the check finds it
# in no program whose C runtime start files lack it): it is not asked for.
dpkg-deb -x "$deb" "$work/unpacked"
for program in "$work/unpacked/usr/lib/kov"/*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  hardening-check --nocfprotection "$program" >"$work/hardening" 2>&1 || fail "$(basename "$program") is not hardened: $(grep -v ': yes' "$work/hardening" | tr '\n' ' ')"
done

# Reproducible: the same sources in another folder, built later, give the same package.
gitc rev-parse --git-dir >/dev/null 2>&1 || fail "not in a git checkout: the sources to build again are not known"
again=$(mktemp -d /tmp/kov-again.XXXXXX)
gitc ls-files -z | tar --null -T - -cf - | tar -xf - -C "$again"
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
out="$again/$(basename "$(realpath "$build")")"
cmake -S "$again" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE="$(cache CMAKE_BUILD_TYPE)" -DKOV_BUILD_TESTS=OFF \
  -DKOV_WERROR="$(cache KOV_WERROR)" -DKOV_HARDEN="$(cache KOV_HARDEN)" >"$work/again.log"
cmake --build "$out" --target package -j2 >>"$work/again.log" || { cat "$work/again.log"; fail "the second build failed"; }
if ! cmp -s "$deb" "$out/$(basename "$deb")"; then
  command -v diffoscope >/dev/null && diffoscope "$deb" "$out/$(basename "$deb")" | head -100
  fail "two builds of the same sources give different packages"
fi
rm -rf "$again"
again=""

dpkg -i "$deb" >/dev/null
for f in /usr/lib/kov/kov120 /usr/lib/kov/kov140 /usr/lib/kov/kovmenu /usr/lib/kov/KOV120p.ovl; do
  [ -e "$f" ] || fail "$f is not installed"
done
for program in kovmenu ovlprint; do
  [ "$(command -v $program)" = /usr/bin/$program ] || fail "$program is not on the PATH"
done
for doc in README.md docs/admin.md; do
  [ -f /usr/share/doc/kov/$doc ] || fail "$doc is not in /usr/share/doc/kov"
done
# Every installed program has its manual page, found by its name as an administrator asks.
for program in /usr/lib/kov/*; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  MANPAGER=cat MANWIDTH=80 man "$name" >"$work/$name.man" 2>&1 || fail "man $name shows no manual page"
  grep -q "^NAME" "$work/$name.man" || fail "man $name shows no manual page"
done
grep -q KOV_INI_DIR "$work/kov120.man" || fail "man kov120 does not name KOV_INI_DIR"
grep -q '^Categories=Office;' /usr/share/applications/kov.desktop || fail "the desktop entry is not in Office"
[ "$(dpkg-query -W -f='${Conffiles}\n' kov | grep -c ' /etc/kov/')" = 4 ] || fail "the settings are not conffiles"

useradd -m -s /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
runuser -u "$user" -- test ! -w /usr/lib/kov || fail "/usr/lib/kov may be written by $user"
/usr/lib/kov/kovgendemo --out "$work/demo" >/dev/null
install -m 644 "$work/demo/kov.db" "$work/demo/kovenv.db" /var/lib/kov/
# The package opens finished PDFs in the desktop's viewer; a test has none.
sed -i 's/^Open=yes/Open=no/' /etc/kov/OVLPRINT.INI

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
xpid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"
[ "$display" != ":" ] || fail "Xvfb did not start"

runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  DISPLAY="$display" QT_QPA_PLATFORM=xcb /usr/lib/kov/kov120 2 >"$work/kov120.log" 2>&1 &
ppid=$!
window=""
for _ in $(seq 200); do
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^期末勤勉手当支給調書印刷$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$ppid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$window" ] || fail "no window of the installed kov120"
DISPLAY=$display xdotool windowfocus --sync "$window"
sleep 0.3
for key in Tab space F6; do DISPLAY=$display xdotool key "$key"; sleep 0.2; done
pdf=""
for _ in $(seq 300); do
  pdf=$(ls "$home/帳票"/*.pdf 2>/dev/null | head -1 || true)
  [ -n "$pdf" ] && break
  kill -0 "$ppid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$pdf" ] || fail "no PDF in $home/帳票"
sleep 0.5
DISPLAY=$display xdotool key F10
status=0
wait "$ppid" || status=$?
ppid=""
[ "$status" = 0 ] || fail "kov120 ended with status $status"

cmd="$home/.local/state/kov/kov120/OVL.TMP"
[ -f "$cmd" ] || fail "no command file in the user's work folder ($cmd)"
[ ! -e /usr/lib/kov/OVL.TMP ] || fail "a command file in /usr/lib/kov"
[ "$(stat -c %U "$pdf")" = "$user" ] || fail "the PDF does not belong to $user"
pdfinfo "$pdf" | grep -Eq '^Page size: +103[0-9](\.[0-9]+)? x 72[0-9]' || fail "the PDF is not B4 landscape"
pdffonts "$pdf" | grep -q IPAGothic || fail "the Gothic font is not embedded"
text=$(pdftotext -layout "$pdf" -)
for want in 期末勤勉手当支給調書 令和 月額者; do
  grep -q "$want" <<<"$text" || fail "「$want」 is not on the PDF"
done
ovlprint "$(dirname "$cmd")" KOV120 KOV120p.ovl --pdf "$work/again.pdf" >/dev/null
pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
[ "$pages" = "$(pdfinfo "$work/again.pdf" | awk '/^Pages:/ {print $2}')" ] || fail "the PDF has $pages pages, its command file another number"

# A purge leaves the databases that the administrator put into /var/lib/kov.
dpkg --purge kov >/dev/null 2>&1
[ -f /var/lib/kov/kov.db ] || fail "the purge removed the office's database in /var/lib/kov"
rm -f /var/lib/kov/kov.db /var/lib/kov/kovenv.db
rmdir /var/lib/kov
for f in /var/lib/kov /usr/lib/kov /etc/kov /usr/bin/kovmenu /usr/bin/ovlprint /usr/share/man/man1/kov120.1.gz \
         /usr/share/doc/kov /usr/share/applications/kov.desktop; do
  [ ! -e "$f" ] || fail "$f is left after the package was purged"
done
say "passed ($(basename "$deb"), $pages pages printed by the installed kov120 as $user)"
