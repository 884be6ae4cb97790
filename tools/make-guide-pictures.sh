#!/usr/bin/env bash
# Makes the pictures of the clerk's guide (docs/guide-ja.md) from the real programs:
# a fresh demo database, an X server of its own (Xvfb) with openbox, each screen driven
# by key presses (xdotool), each window taken with ImageMagick's import, and the first
# page of each report rendered with pdftoppm. Writes docs/pictures/*.png.
#   tools/make-guide-pictures.sh [BUILD]     (BUILD: the build folder, build/ by default)
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$src/build}")"
bin="$build/bin"
out="$src/docs/pictures"
for tool in Xvfb openbox xdotool import convert pdftoppm; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done
programs=(kovmenu kov120 kov140 kov570 kov970 kovgendemo ovlprint)
# The default build folder is made and brought up to date; another one must be built.
if [ -z "${1:-}" ]; then
  [ -f "$build/CMakeCache.txt" ] || (cd "$src" && cmake --preset default >/dev/null)
  cmake --build "$build" --target "${programs[@]}" >/dev/null
fi
for prog in "${programs[@]}"; do
  [ -x "$bin/$prog" ] || { echo "$bin/$prog is missing: build the suite first" >&2; exit 1; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

demo="$work/demo"
mkdir -p "$demo" "$work/pdf" "$work/media/USB-A" "$out"
chmod 0700 "$work" "$work/pdf"
"$bin/kovgendemo" --out "$demo" >/dev/null
printf '[Print]\r\nOutput=pdf\r\nOpen=no\r\nPdfFolder=%s\r\nOverlayFolder=%s\r\n' "$work/pdf" "$bin" \
  > "$demo/OVLPRINT.INI"

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xpid <&3
pids+=("$xpid")
read -r dn <&3 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$dn"
ob=(openbox --sm-disable)
[ -f /etc/xdg/openbox/rc.xml ] && ob+=(--config-file /etc/xdg/openbox/rc.xml)
"${ob[@]}" >/dev/null 2>&1 &
pids+=("$!")
sleep 1

# A runtime folder of its own: the one-copy locks there do not meet the clerk's own
# running programs, which would otherwise be raised instead of started.
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" KOV_INI_DIR="$demo" KOV_WORK_DIR="$work/work" QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS

# start NAME TITLE ARGS...: starts a program, waits for its window and focuses it.
start() {
  local name="$1"
  title="$2"
  shift 2
  log="$work/$name-$RANDOM.log"
  "$bin/$name" "$@" > "$log" 2>&1 &
  prog=$!
  pids+=("$prog")
  win=$(timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" | head -1)
  [ -n "$win" ] || { echo "$name showed no window:" >&2; cat "$log" >&2; exit 1; }
  xdotool windowfocus --sync "$win"
  sleep 0.7
}
# shot FILE [WINDOW]: the screen cut to the program's window, with whatever lies over
# it (an open list), or else the window WINDOW alone, as a small PNG.
shot() {
  sleep 0.5
  # shellcheck disable=SC2034  # all set by getwindowgeometry --shell
  local X Y WIDTH HEIGHT SCREEN WINDOW
  if [ -n "${2:-}" ]; then
    import -window "$2" "$work/shot.png"
  else
    eval "$(xdotool getwindowgeometry --shell "$win")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
  fi
  convert "$work/shot.png" -strip -colors 64 "PNG8:$out/$1"
}
# message FILE: waits for the program's message box, takes it and answers with Return.
message() {
  local i box="" id
  for (( i = 0; i < 100; i++ )); do
    grep -q '^\[message' "$log" && break
    sleep 0.1
  done
  sleep 0.5
  for id in $(xdotool search --onlyvisible --name "^$title\$"); do
    [ "$id" != "$win" ] && xdotool getwindowgeometry "$id" >/dev/null 2>&1 && box=$id
  done
  [ -n "$box" ] || { echo "no message box:" >&2; cat "$log" >&2; exit 1; }
  shot "$1" "$box"
  xdotool key Return
  sleep 0.5
}
# finish: F10 ends the program; it must end with status 0.
finish() {
  xdotool windowfocus --sync "$win" key F10
  timeout 30 tail --pid="$prog" -f /dev/null || { echo "the program did not end" >&2; exit 1; }
  wait "$prog" || { echo "the program ended with status $?:" >&2; cat "$log" >&2; exit 1; }
}
# report FILE: F6 prints; the first page of the PDF becomes FILE.
report() {
  rm -f "$work/pdf/"*.pdf
  local i said
  said=$(grep -c '^\[message' "$log" || true)
  xdotool key F6
  for (( i = 0; i < 600; i++ )); do
    compgen -G "$work/pdf/*.pdf" >/dev/null && break
    kill -0 "$prog" 2>/dev/null || { echo "the program ended before its PDF" >&2; exit 1; }
    if [ "$(grep -c '^\[message' "$log" || true)" != "$said" ]; then echo "the program said:" >&2; cat "$log" >&2; exit 1; fi
    sleep 0.2
  done
  local pdf
  pdf=$(compgen -G "$work/pdf/*.pdf" | head -1)
  [ -n "$pdf" ] || { echo "no PDF after two minutes" >&2; exit 1; }
  pdftoppm -f 1 -l 1 -r 80 -png -singlefile "$pdf" "$work/page"
  convert "$work/page.png" -strip -colors 64 "PNG8:$out/$1"
  sleep 1
}

# The menu: taken as it opens, then ended.
start kovmenu '給与システム　処理メニュー'
shot menu.png
kill "$prog"; wait "$prog" 2>/dev/null || true

# kov120: F6 with no block selected is refused with a message, after which the block
# list has the focus; space selects the current block, Down goes to the next.
start kov120 '期末勤勉手当支給調書印刷' 2
xdotool key F6
message message-noblock.png
xdotool key --delay 60 space Down Down space
shot kov120.png
report kov120-page1.png
finish

# kov140: the block list has the focus.
start kov140 '差額支給内訳明細書印刷' 1
xdotool key --delay 60 space Down space
shot kov140.png
report kov140-page1.png
finish

# kov570: the print button has the focus; Tab twice to 小学校, Tab to finance office 1.
start kov570 '給与費支出額集計表印刷' 1
xdotool key --delay 60 Tab Tab space Tab Tab Tab space
shot kov570.png
report kov570-page1.png
finish

# kov970: one drive (a plain folder standing in for a stick), 2:職員マスタ chosen.
export KOV_REMOVABLE_DRIVES="$work/media/USB-A"
start kov970 'マスタ退避処理' 1
xdotool key --delay 60 Tab Down Down
shot kov970.png
# The drive box open shows the whole mount point.
xdotool key --delay 60 shift+Tab alt+Down
shot kov970-drives.png
xdotool key Escape
finish

ls -l "$out"
