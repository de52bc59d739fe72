#!/usr/bin/env bash
# The window as a Windows user meets it: the laid-out VantorelAdmins.exe started under Wine on Windows' own
# platform on the X display $DISPLAY; its window and the clipboard read through the Windows API (window_probe.exe),
# the README's SteamID example entered by real X key presses and clicks (xdotool), the entry copied with Ctrl+C,
# the help link clicked. Then an admins file in a folder named with a space and Cyrillic letters given to it on its
# command line, as "Open with" does: an entry chosen and a command ticked with the mouse, saved with Ctrl+S, the
# file then byte for byte what vantorel-admins.exe set makes of it. Screenshots at 96 and 144 dpi, the clipboard,
# the browser hand-off and the files are left in OUT.
# Usage: real_program.sh BUILD_DIR OUT_DIR   (WINEPREFIX and DISPLAY set; xdotool, xwd, netpbm and xclip installed)
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
rm -rf "$out" && mkdir -p "$out/bin"
title="Vantorel KZ_admins.txt Helper"
fail() {
  echo "real program: $*" >&2
  exit 1
}
probe() { timeout 30 "$build/tests/wine-run" "$build/tests/window_probe.exe" "$@"; }

# Wine draws the window's frame itself, as Windows does, rather than leaving it to an X window manager, which the
# test display does not have.
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
# Wine hands an address to the desktop's opener; this one records it.
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$out/opened.txt" >"$out/bin/xdg-open"
chmod +x "$out/bin/xdg-open"

# Waits, for up to 20 s, for a window of the given title; sets geometry.
appears() {
  for _ in $(seq 100); do
    geometry=$(probe window "$1" | tr -d '\r') && [ -n "$geometry" ] && return
    sleep 0.2
  done
  fail "no window titled \"$1\""
}
# Starts the program alone, as a user would, at the given dpi, with the given arguments, and waits for its window of
# the given title; sets app, ox, oy.
start() { # DPI TITLE ARGUMENT...
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  (cd "$build/deploy" && env -u WINEPATH -u QT_QPA_PLATFORM PATH="$out/bin:$PATH" timeout 300 wine VantorelAdmins.exe \
    "${@:3}") &
  app=$!
  trap stop EXIT
  appears "$2"
  read -r ox oy < <(sed 's/.*client [0-9]*x[0-9]* at \([0-9-]*\),\([0-9-]*\);.*/\1 \2/' <<<"$geometry")
  echo "$1 dpi: $geometry"
  # The first paint: the window's picture alike twice running, and of more than one colour.
  local deadline=$((SECONDS + 30)) last='' now
  until now=$(capture | md5sum) && [ "$now" = "$last" ] && [ "$(capture | ppmhist -noheader | wc -l)" -gt 1 ]; do
    [ $SECONDS -lt $deadline ] || fail "the window was not painted within 30 s"
    last=$now
    sleep 0.2
  done
}
stop() {
  kill "$app" 2>/dev/null && wait "$app" || true
  unset geometry
}
# A picture of the whole window, frame included, and a screenshot of it.
capture() {
  read -r w h x y < <(sed 's/^window \([0-9]*\)x\([0-9]*\) at \([0-9-]*\),\([0-9-]*\);.*/\1 \2 \3 \4/' <<<"$geometry")
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$((x < 0 ? 0 : x))" -top "$((y < 0 ? 0 : y))" \
    -width "$w" -height "$h"
}
shot() { capture | pnmtopng >"$out/$1"; }
# A click at a point of the client area, in the window's own (96 dpi) coordinates.
click() {
  xdotool mousemove "$((ox + $1))" "$((oy + $2))" click 1
  sleep 0.3
}

start 96 "$title"
[[ "$geometry" == *"client 577x521 at"*"; system menu 1, close 1, minimise 0, maximise 0, resizable 0" ]] ||
  fail "the window is not 577 x 521 with a system menu and a close button alone: $geometry"
shot window-96dpi.png

# The README's example: a SteamID with a password, level 2, kick and ban granted, say_team denied.
click 232 32 # SteamID
click 168 65 # the identity box, which empties its prompt
xdotool type --delay 40 STEAM_0:1:12345
click 72 120  # Require Password
click 200 121 # the password box
xdotool type --delay 40 s3cret
# In the tree, from the top row: Say to Team, Level 2, admin_kick, admin_ban, each ticked with the space bar.
click 76 234
for moves in 3 6 19 2; do
  for _ in $(seq "$moves"); do xdotool key Down; done
  xdotool key space
  sleep 0.2
done
timeout 60 wine "$build/cli/vantorel-admins.exe" compose --type steamid --id STEAM_0:1:12345 --password s3cret --level 2 \
  --grant kick,ban --deny say_team >"$out/compose.txt"
click 400 200 # the result box
xdotool key ctrl+a ctrl+c
# The copy is read back until it arrives, for up to 30 s.
deadline=$((SECONDS + 30))
until probe clipboard >"$out/clipboard.txt" && cmp -s "$out/clipboard.txt" "$out/compose.txt"; do
  [ $SECONDS -lt $deadline ] || fail "the copied entry is not what compose prints: see $out"
  sleep 0.2
done
shot entry-96dpi.png
xclip -o -selection clipboard >"$out/x-clipboard.txt" 2>/dev/null || true
echo "clipboard (CF_UNICODETEXT) equals compose's output: $(wc -c <"$out/clipboard.txt") bytes," \
  "$(tr -cd '\r' <"$out/clipboard.txt" | wc -c) CR; the X clipboard got $(wc -c <"$out/x-clipboard.txt") bytes," \
  "$(tr -cd '\r' <"$out/x-clipboard.txt" | wc -c) CR"

click 40 492 # the help link, for the selected admin_ban
for _ in $(seq 50); do [ -s "$out/opened.txt" ] && break; sleep 0.2; done
grep -qx 'https://wiki.vantorel.org/wiki/Admin_ban' "$out/opened.txt" ||
  fail "the help link handed over $(cat "$out/opened.txt" 2>/dev/null || echo nothing)"
echo "help link handed to the desktop: $(cat "$out/opened.txt")"
stop

# An admins file given on the command line: the window widens to the left by the file's panel (192 pixels), which
# shifts the controls right by as much. In the panel the list of entries stands at 16,24; below its header its rows
# are 15 pixels high from 46 down, the SteamID entry's the second. The tree's rows are 15 pixels apart, its top
# row's check box at 238,232 and each level's 20 pixels further right: admin_reload's, two levels down on the 14th
# row, at 278,427.
mkdir -p "$out/Файлы admins"
file="$out/Файлы admins/KZ_admins.txt"
cp "$(dirname "$0")/../data/sample_admins.txt" "$file"
# What the window's Save must write: its tick replayed onto the file as another writer left it meanwhile (an entry
# added by vantorel-admins.exe set -i), as set makes it of that file.
other=(--type name --id "Other Bob" --level 4)
cp "$file" "$out/expected.txt"
timeout 60 wine "$build/cli/vantorel-admins.exe" set -i "$(winepath -w "$out/expected.txt")" "${other[@]}" 2>/dev/null ||
  fail "set -i of the other writer failed"
timeout 60 wine "$build/cli/vantorel-admins.exe" set "$(winepath -w "$out/expected.txt")" --type steamid \
  --id STEAM_0:1:12345 --grant reload >"$out/set.txt" 2>/dev/null
fileTitle="KZ_admins.txt - $title"
start 96 "$fileTitle" "$(winepath -w "$file")"
[[ "$geometry" == *"client 769x521 at"* ]] || fail "with a file open the window is not 769 x 521: $geometry"
shot file-96dpi.png
click 60 68   # the SteamID entry's row in the list "Entries"
click 278 427 # admin_reload's check box
appears "KZ_admins.txt* - $title" # the file's text in the window changed, not yet saved
timeout 60 wine "$build/cli/vantorel-admins.exe" set -i "$(winepath -w "$file")" "${other[@]}" 2>/dev/null ||
  fail "the other writer's set -i failed"
cp "$file" "$out/before.txt"
xdotool key ctrl+s
deadline=$((SECONDS + 30))
until ! cmp -s "$file" "$out/before.txt" && probe window "$fileTitle" >/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "Ctrl+S did not save the file within 30 s"
  sleep 0.2
done
shot file-saved-96dpi.png
cmp "$file" "$out/set.txt" || fail "the saved file is not what set makes of it: diff \"$file\" $out/set.txt"
echo "with $(winepath -w "$file") given: client 769x521; the SteamID entry chosen, admin_reload ticked, another" \
  "writer's entry added meanwhile, saved with Ctrl+S: $(wc -c <"$file") bytes, as set --grant reload makes them of" \
  "the file the other writer left"
stop

# At 144 dpi the client area is one and a half times as large, to the pixel it can be.
start 144 "$title"
read -r cw ch < <(sed 's/.*client \([0-9]*\)x\([0-9]*\) at.*/\1 \2/' <<<"$geometry")
[ $((2 * cw - 3 * 577)) -ge -2 ] && [ $((2 * cw - 3 * 577)) -le 2 ] && [ $((2 * ch - 3 * 521)) -ge -2 ] &&
  [ $((2 * ch - 3 * 521)) -le 2 ] || fail "at 144 dpi the client area is ${cw}x$ch, not 1.5 times 577 x 521"
shot window-144dpi.png
stop
timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
echo "screenshots in $out"
