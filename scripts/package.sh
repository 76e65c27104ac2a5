#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package build-package/tarvik_<version>_<arch>.deb from a Release build with
# CPack, installing what is missing with apt first.
#
#   --check   then proves the package the way the distribution would: lintian,
#             desktop-file-validate and appstreamcli on its files; then installs it on this
#             machine with apt, starts the installed Tarvik under Xvfb with a window manager,
#             closes its main window through the window manager, starts tarvik-boardsim, removes
#             the package and looks for anything left. Needs root or sudo; fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: bash scripts/package.sh [--check]" >&2; exit 2 ;;
esac

# shellcheck disable=SC2086
install_missing $BUILD_PACKAGES $PACKAGE_PACKAGES
# shellcheck disable=SC2086
[ "$check" -eq 0 ] || install_missing $PACKAGE_CHECK_PACKAGES

build=build-package
# The distribution's hardening flags, and dates in the changelog and manual pages that come
# from the sources rather than from the clock.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
if [ ! -f "$build/CMakeCache.txt" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow
  CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF -DTARVIK_SETTINGS_IN_CONFIG_DIR=ON >/dev/null
fi
cmake "$build" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tarvik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$PWD/$build"/tarvik_*.deb)
[ -f "$deb" ] || { echo "cpack wrote no tarvik_*.deb" >&2; exit 1; }
echo "Wrote ${deb#"$PWD/"}"
[ "$check" -eq 1 ] || exit 0

# ---- the checks ----

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
work=$(mktemp -d)
pids=()            # running helpers, ended by the cleanup
installed_here=0
own_ini=0

fail() {
  echo "package check FAILED: $*" >&2
  exit 1
}

cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "$installed_here" -eq 1 ] && dpkg -s tarvik >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq tarvik >/dev/null || true
  fi
  # Reported when this check finds it, not kept.
  [ "$own_ini" -eq 0 ] || $sudo rm -f /usr/bin/tarvik-33.ini
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $2 seconds for the command after them to succeed; $1 says what is awaited.
wait_for() {
  local what=$1 seconds=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$what: nothing after ${seconds} s"
    sleep 0.2
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
# A helper that has been waited for is no longer ours to end: its id may be reused.
forget() {
  local keep=() pid
  for pid in "${pids[@]}"; do [ "$pid" = "$1" ] || keep+=("$pid"); done
  pids=("${keep[@]}")
}

echo "== lintian =="
# Errors fail the check; the remaining warnings are shown.
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

echo "== desktop entry and AppStream metadata =="
dpkg-deb -x "$deb" "$work/files"
desktop=$work/files/usr/share/applications/tarvik.desktop
[ -f "$desktop" ] || fail "no tarvik.desktop in the package"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects tarvik.desktop"
metainfo=("$work"/files/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metadata in the package"
# Pedantic findings count too: the metadata ships clean.
findings=$(appstreamcli validate --no-net --pedantic "${metainfo[@]}") || fail "appstreamcli rejects the metadata"
echo "$findings"
! grep -qE '^[EWIP]: ' <<<"$findings" || fail "appstreamcli has findings on the metadata"

echo "== install =="
dpkg -s tarvik >/dev/null 2>&1 &&
  fail "tarvik is installed already; this check installs and removes it, so it leaves yours alone"
[ ! -e /usr/bin/tarvik-33.ini ] || fail "/usr/bin/tarvik-33.ini is there before the install; remove it first"
own_ini=1
installed_here=1
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install"; }
dpkg -L tarvik >"$work/owned"
dpkg-query -W -f='Depends: ${Depends}\n' tarvik

echo "== the installed Tarvik under Xvfb =="
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for "Xvfb to start" 20 test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for "the window manager to start" 20 wmctrl -m

mkdir -m 700 "$work/home" "$work/runtime"
env -u QT_QPA_PLATFORM HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
  XDG_RUNTIME_DIR="$work/runtime" /usr/bin/tarvik >"$work/tarvik.log" 2>&1 &
tarvik=$!
pids+=("$tarvik")
wait_for "Tarvik's main window" 30 xdotool search --onlyvisible --name '^Tarvik$'
window=$(xdotool search --onlyvisible --name '^Tarvik$' | head -n 1)
# The window manager's close: it sends the window WM_DELETE_WINDOW.
wmctrl -i -c "$window"
wait_for "Tarvik to end after its window was closed" 30 gone "$tarvik"
status=0
wait "$tarvik" || status=$?
forget "$tarvik"
[ "$status" -eq 0 ] || { cat "$work/tarvik.log" >&2; fail "Tarvik ended with status $status"; }
[ -f "$work/home/config/tarvik/tarvik-33.ini" ] ||
  fail "Tarvik saved no settings in the user's configuration folder"
[ ! -e /usr/bin/tarvik-33.ini ] || fail "Tarvik wrote its settings into /usr/bin"
echo "main window found and closed through the window manager; Tarvik ended and saved its settings"

echo "== the installed tarvik-boardsim =="
/usr/bin/tarvik-boardsim >"$work/boardsim.out" 2>&1 &
boardsim=$!
pids+=("$boardsim")
wait_for "tarvik-boardsim's port name" 10 grep -q '^Board ready\.' "$work/boardsim.out"
cat "$work/boardsim.out"
line=$(grep '^Board ready\.' "$work/boardsim.out")
[[ $line =~ type\ COM([0-9]+)\ into.*\(device\ /dev/pts/([0-9]+)\) ]] ||
  fail "tarvik-boardsim printed no port name"
[ "${BASH_REMATCH[1]}" -eq $((1000 + BASH_REMATCH[2])) ] || fail "port name and device disagree"
# One line to the board: it answers with its echo and the acknowledgement character.
pty=/dev/pts/${BASH_REMATCH[2]}
exec {line}<>"$pty"
stty raw -echo <&"$line"   # on the open line: a pseudo-terminal forgets its modes when closed
printf 'x\r' >&"$line"
reply=$(timeout 10 head -c 3 <&"$line" | od -An -tx1 | tr -d ' \n') || true
exec {line}>&-
[ "$reply" = 780d06 ] || fail "tarvik-boardsim did not answer a line (bytes: ${reply:-none})"
kill -TERM "$boardsim"
wait_for "tarvik-boardsim to stop" 10 gone "$boardsim"
status=0
wait "$boardsim" || status=$?
forget "$boardsim"
[ "$status" -eq 0 ] || fail "tarvik-boardsim ended with status $status when stopped"

echo "== remove =="
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq tarvik >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get remove"; }
installed_here=0
state=$(dpkg-query -W -f='${db:Status-Status}' tarvik 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "dpkg still knows tarvik: $state"
left=()
while IFS= read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay only as another package's.
    dpkg -S "$path" >/dev/null 2>&1 || left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$work/owned"
[ ! -e /usr/bin/tarvik-33.ini ] || left+=(/usr/bin/tarvik-33.ini)
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
echo "removed; nothing of the package is left"
echo "package check passed: ${deb#"$PWD/"}"
