#!/usr/bin/env bash
# The Windows packages as a Windows user meets them, under Wine in the fresh prefix $WINEPREFIX (its server kept
# running) on the X display $DISPLAY:
#   - an upgrade, silent, from an installation in a /D= folder with bin\ on the system PATH and a desktop shortcut,
#     which keeps all three; the window from its Start-menu shortcut, vantorel-admins.exe from a new command prompt
#     and on a path longer than 259 characters, the uninstall entry, the zip holding the same files;
#   - the window and the command-line program running from the folder: the uninstaller and the setup program stop
#     with an exit code and a log line and change nothing; then a silent uninstall leaves nothing behind;
#   - a table of system PATHs, each installed with the PATH option and uninstalled: our entry once, at the end,
#     every other byte and the value's type kept, and the value byte for byte as before afterwards; one too long to
#     take the entry is left as it was; a setup program started with a short, stale PATH of its own;
#   - the setup program through its pages, each waited for by a text of its own, with bin\ put on the user's PATH;
#   - the zip unpacked into a folder named with a space and non-ASCII letters, both programs run from there.
# Usage: packages.sh BUILD_DIR SETUP OLDER_SETUP ZIP   (OLDER_SETUP: the same setup program calling itself 0.99)
set -euo pipefail
build=$(realpath "$1") setup=$(realpath "$2") older=$(realpath "$3") zip=$(realpath "$4")
name=$(sed -n 's/^Name=//p' "$(dirname "$0")/../../packaging/org.vantorel.AdminsHelper.desktop")
version=$(basename "$setup" | sed 's/^vantorel-admins-\(.*\)-win64\.exe$/\1/')
drive=$WINEPREFIX/drive_c
started=$SECONDS
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Every Windows program is given a time to end in; a setup or uninstaller run goes through a batch file, so that
# its command line reaches it as written (NSIS reads /D= and _?= unquoted to the end of the line), and its exit
# code comes back.
win() { timeout 120 wine "$@" </dev/null; }
run() { # COMMAND-LINE...
  printf '%s\r\n' "$@" 'exit /b %errorlevel%' >"$drive/run.bat"
  timeout 300 wine cmd /c 'C:\run.bat' </dev/null >/dev/null 2>&1
}
stops() { # COMMAND-LINE, run while a program runs from the folder: it must stop with exit code 2
  local code=0
  run "$1" || code=$?
  [ $code = 2 ] || fail "$1 ended with exit code $code while a program ran from the folder"
}
probe() { timeout 30 "$build/tests/wine-run" "$build/tests/window_probe.exe" "$@"; }
winSetup=$(winepath -w "$setup") winOlder=$(winepath -w "$older")
log=$(winepath -u "$(win cmd /c echo %TEMP% | tr -d '\r')")/vantorel-admins-setup.log
log_lines() { iconv -f UTF-16 -t UTF-8 "$log" 2>/dev/null | tr -d '\r' | wc -l; }
new_log() { iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' | tail -n +$(($1 + 1)); }

uninstallKey="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$name"
envKey='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' userKey='HKCU\Environment'
reg_value() { win reg query "$uninstallKey" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
uninstall_entries() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 | tr -d '\r' |
    grep -c -x -F "    DisplayName    REG_SZ    $name" || true
}
# The Path value of a key exactly as stored, as `reg export` writes it: hex(2): and every byte for REG_EXPAND_SZ,
# the quoted text for REG_SZ; "absent" when there is none.
path_of() { # KEY
  win reg export "$1" 'C:\path.reg' /reg:64 /y >/dev/null || fail "reg export $1"
  iconv -f UTF-16 -t UTF-8 "$drive/path.reg" | tr -d '\r' | sed -e ':a' -e '/\\$/{N;s/\\\n *//;ta' -e '}' |
    sed -n 's/^"[Pp][Aa][Tt][Hh]"=//p' | grep . || echo absent
}
# TEXT as stored in a value of TYPE (1 REG_SZ, 2 REG_EXPAND_SZ), in the form `reg export` writes, and back.
as_reg() { # TYPE TEXT
  if [ "$1" = 1 ]; then
    printf '"%s"' "${2//\\/\\\\}"
  else
    printf 'hex(2):%s00,00' "$(printf '%s' "$2" | iconv -t UTF-16LE | xxd -p -c 1 | tr '\n' ',')"
  fi
}
text_of() { # EXPORTED-VALUE
  case $1 in
  \"*) sed 's/^"\(.*\)"$/\1/; s/\\\\/\\/g' <<<"$1" ;;
  *) sed 's/^hex(2):\(.*\)00,00$/\1/' <<<"$1" | tr -d ',' | xxd -r -p | iconv -f UTF-16LE -t UTF-8 ;;
  esac
}
set_path() { # KEY TYPE TEXT | KEY absent
  if [ "$2" = absent ]; then
    win reg delete "$1" /v Path /f /reg:64 >/dev/null 2>&1 || true
    return
  fi
  local root=${1%%\\*} full=HKEY_LOCAL_MACHINE
  [ "$root" = HKCU ] && full=HKEY_CURRENT_USER
  printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"Path"=hex(%s):%s00,00\r\n' "$full\\${1#*\\}" \
    "$2" "$(printf '%s' "$3" | iconv -t UTF-16LE | xxd -p -c 1 | tr '\n' ',')" | iconv -t UTF-16LE >"$drive/path.reg"
  win reg import 'C:\path.reg' /reg:64 >/dev/null 2>&1 || fail "reg import of a PATH of ${#3} characters"
}
# Where the PATH rule puts our entry: at the end, after a ";" unless the value is empty or ends with one (which then
# ends it again).
with_entry() { # TEXT FOLDER
  case $1 in
  '') printf '%s' "$2" ;;
  *\;) printf '%s%s;' "$1" "$2" ;;
  *) printf '%s;%s' "$1" "$2" ;;
  esac
}
# Our entry, once and last, in the exported value.
check_entry() { # EXPORTED-VALUE FOLDER
  local entries
  entries=$(text_of "$1" | tr ';' '\n' | grep .)
  [ "$(grep -c -x -F "$2" <<<"$entries")" = 1 ] && [ "$(tail -n1 <<<"$entries")" = "$2" ] ||
    fail "$2 is not on the PATH once and last"
}
# An uninstaller copies itself to the temporary folder, starts the copy and returns; the copy is waited for.
wait_uninstaller() {
  local deadline=$((SECONDS + 60))
  while pgrep -f '\\~nsu[^\\]*\.tmp\\' >/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the uninstaller did not end within 60 s"
    sleep 0.1
  done
}
# The first X window whose title matches, waited for up to 60 s. (xdotool's own --sync stops at an X error when a
# window it looks at goes away meanwhile, as Wine's short-lived ones do.)
find_window() { # TITLE-REGEX
  local deadline=$((SECONDS + 60)) found
  until found=$(xdotool search --name "$1" 2>/dev/null | head -n1) && [ -n "$found" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
  echo "$found"
}
# The window, started by the given command, is found by its title, and belongs to the program in the given folder.
# Wine names its processes by their Windows path.
check_window() { # FOLDER-AS-WINDOWS-PATH COMMAND...
  local folder=$1 window pid command launcher
  shift
  timeout 120 "$@" >/dev/null 2>&1 &
  launcher=$!
  window=$(find_window "^${name//./\\.}\$") ||
    fail "no window titled \"$name\" after $*"
  pid=$(xdotool getwindowpid "$window")
  command=$(tr '\0' ' ' <"/proc/$pid/cmdline")
  [[ "$command" == "$folder\\VantorelAdmins.exe"* ]] || fail "the window belongs to $command, not $folder"
  echo "window \"$name\" shown by $command"
  kill "$pid"
  wait "$launcher" || true
}
# The state of an installation: every file with its time and size, the uninstall entry, the system PATH.
state() { # FOLDER
  (cd "$1" && find . -printf '%p %T@ %s\n' | sort)
  win reg query "$uninstallKey" /reg:64 | tr -d '\r'
  path_of "$envKey"
}

programFiles="$drive/Program Files"
startMenu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/$name"
desktop="$drive/users/Public/Desktop/$name.lnk"
freshPath=$(path_of "$envKey")

# An upgrade, silent, from 0.99 installed into a folder of its own (/D=, unquoted, with a space) with bin\ on the
# system PATH and a desktop shortcut: the new version goes into the same folder and keeps both.
tools='C:\Tools\Vantorel KZ' toolsUnix="$drive/Tools/Vantorel KZ"
run "\"$winOlder\" /S /PATH=system /DESKTOP=yes /D=$tools" || fail "the older setup program failed"
[ "$(reg_value DisplayVersion)" = 0.99 ] && [ -f "$desktop" ] || fail "0.99 not installed with a desktop shortcut"
run "\"$winSetup\" /S" || fail "the upgrade failed"
[ -f "$toolsUnix/VantorelAdmins.exe" ] && [ -f "$toolsUnix/bin/vantorel-admins.exe" ] || fail "nothing in $tools"
[ ! -e "$programFiles/$name" ] && [ ! -e "$drive/Program Files (x86)/$name" ] || fail "installed into Program Files"
for value in "DisplayName=$name" "DisplayVersion=$version" Publisher=Vantorel "InstallLocation=$tools" \
  "DisplayIcon=$tools\\VantorelAdmins.exe" "UninstallString=\"$tools\\Uninstall.exe\"" PathScope=system \
  DesktopShortcut=0x1; do
  [ "$(reg_value "${value%%=*}")" = "${value#*=}" ] || fail "uninstall entry: ${value%%=*} is '$(reg_value "${value%%=*}")'"
done
! win reg query "$uninstallKey" /reg:32 >/dev/null 2>&1 || fail "an uninstall entry in the 32-bit view"
[ "$(uninstall_entries)" = 1 ] || fail "$(uninstall_entries) uninstall entries after the upgrade"
upgraded=$(path_of "$envKey")
[ "$upgraded" = "$(as_reg 2 "$(with_entry "$(text_of "$freshPath")" "$tools\\bin")")" ] ||
  fail "system PATH after the upgrade: $(text_of "$upgraded")"
check_entry "$upgraded" "$tools\\bin"
[ -f "$desktop" ] && [ "$(ls "$startMenu" | xargs)" = "Uninstall.lnk $name.lnk" ] ||
  fail "shortcuts after the upgrade: desktop $(ls "$(dirname "$desktop")" | xargs), Start menu $(ls "$startMenu" | xargs)"
echo "upgraded 0.99 in $tools to $version silently: folder, PATH ($tools\\bin once, last) and desktop shortcut kept"

check_window "$tools" wine start /unix "$startMenu/$name.lnk"
# (With the short PATH of a fresh prefix: Wine gives new programs only about the first 1,000 characters of a longer
# one.)
printed=$(win cmd /c vantorel-admins.exe --version | tr -d '\r')
[ "$printed" = "$version" ] || fail "vantorel-admins.exe --version through the PATH printed '$printed'"
echo "a new command prompt finds vantorel-admins.exe on the PATH: --version $printed"
# A KZ_admins.txt 417 characters deep: read, formatted, given an entry and rid of it again, in place.
deep=$drive/deep
for i in $(seq -w 12); do deep+=/folder-$i-abcdefghijklmnopqrstuv; done
mkdir -p "$deep"
cp "$(dirname "$0")/../data/sample_admins.txt" "$deep/KZ_admins.txt"
winDeep=C:${deep#"$drive"}/KZ_admins.txt winDeep=${winDeep//\//\\}
for command in "check" "format -i" "set -i --type name --id Bob" "remove -i --type name --id Bob"; do
  # shellcheck disable=SC2086 # the command's words
  win "$tools\\bin\\vantorel-admins.exe" $command "$winDeep" >/dev/null 2>&1 || fail "$command on a path of ${#winDeep}"
done
cmp "$deep/KZ_admins.txt" "$(dirname "$0")/../cli/format_sample.txt" || fail "the deep file is not the formatted sample"
rm -rf "$drive/deep"
echo "vantorel-admins.exe check, format -i, set -i and remove -i on a path of ${#winDeep} characters"
diff <(cd "$toolsUnix" && find . -type f ! -name Uninstall.exe | sort) \
  <(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/|./|' | sort) || fail "the zip and the installation differ"

# The window, then the command-line program, running from the folder: the uninstaller (waited for with _?=) and the
# setup program stop with an exit code and a log line, and change nothing.
timeout 600 wine "$tools\\VantorelAdmins.exe" >/dev/null 2>&1 &
app=$!
find_window "^${name//./\\.}\$" >/dev/null || fail "the window did not appear"
before=$(state "$toolsUnix") mark=$(log_lines)
stops "\"$tools\\Uninstall.exe\" /S _?=$tools"
stops "\"$winSetup\" /S"
[ "$(state "$toolsUnix")" = "$before" ] || fail "changed while the window ran"
[ "$(new_log "$mark" | grep -c -x -F "[uninstall $version] running from $tools: $tools\\VantorelAdmins.exe")" = 1 ] &&
  [ "$(new_log "$mark" | grep -c -x -F "[setup $version] running from $tools: $tools\\VantorelAdmins.exe")" = 1 ] ||
  fail "log: $(new_log "$mark")"
kill "$app"
wait "$app" || true
# Its standard input stays open as long as the writer runs: a process of its own, since every Wine process started
# meanwhile would inherit a descriptor of this shell's.
fifo=$(mktemp -u) && mkfifo "$fifo"
timeout 600 wine "$tools\\bin\\vantorel-admins.exe" check - <"$fifo" >/dev/null 2>&1 &
cli=$!
sleep 600 >"$fifo" &
writer=$!
deadline=$((SECONDS + 30))
until pgrep -f 'bin\\vantorel-admins\.exe check' >/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "vantorel-admins.exe did not start"
  sleep 0.1
done
mark=$(log_lines)
stops "\"$tools\\Uninstall.exe\" /S _?=$tools"
[ "$(state "$toolsUnix")" = "$before" ] || fail "changed while vantorel-admins.exe ran"
new_log "$mark" | grep -q -x -F "[uninstall $version] running from $tools: $tools\\bin\\vantorel-admins.exe" ||
  fail "log: $(new_log "$mark")"
kill "$writer"
wait "$cli" || fail "vantorel-admins.exe check did not end when its input did"
rm -f "$fifo"
echo "with the window, then vantorel-admins.exe running: uninstall and upgrade stopped (exit code 2), nothing changed"

# A silent uninstall leaves nothing behind, and the system PATH as it was before the first installation.
win "$tools\\Uninstall.exe" /S
wait_uninstaller
[ ! -e "$toolsUnix" ] || fail "left in the installation folder: $(find "$toolsUnix" | xargs)"
[ ! -e "$startMenu" ] && [ ! -e "$desktop" ] || fail "shortcuts left"
for view in 64 32; do
  ! win reg query "$uninstallKey" /reg:$view >/dev/null 2>&1 || fail "the uninstall entry is left"
  ! win reg query "HKLM\\Software\\Vantorel" /reg:$view >/dev/null 2>&1 || fail "a key of ours is left"
done
[ "$(path_of "$envKey")" = "$freshPath" ] || fail "system PATH after uninstalling: $(text_of "$(path_of "$envKey")")"
echo "uninstalled: no folder, shortcut or registry entry left; the system PATH byte for byte as before"
echo "== packages: upgrade, running programs and uninstall after $((SECONDS - started)) s"

# The PATH table, installed into Program Files: the system PATH empty, as a fresh prefix has it, and of 1,000,
# 1,024, 2,000 and 8,000 characters, with and without a final ";", as REG_EXPAND_SZ and once as REG_SZ, and one too
# long to take our entry. The lengths include Wine's own four entries, which use %SystemRoot%; those added
# alternate between %SystemRoot%\... and C:\Program Files\... . The 2,000 one is installed by a setup program whose
# own PATH is short and stale (started from a command prompt that set it), while the registry's is longer than
# NSIS's strings.
installed="C:\\Program Files\\$name" bin="C:\\Program Files\\$name\\bin"
make_path() { # LENGTH SUFFIX
  local text pad
  text=$(text_of "$freshPath")
  for ((i = 0; ${#text} + 70 < $1; i++)); do text+=";%SystemRoot%\\Tools $i\\bin;C:\\Program Files\\Tool $i"; done
  printf -v pad '%*s' $(($1 - ${#text} - ${#2} - 4)) ''
  printf '%s;C:\\%s%s' "$text" "${pad// /x}" "$2"
}
while read -r type length suffix how; do
  case $length in
  fresh) text=$(text_of "$freshPath") ;;
  0) text='' ;;
  *) text=$(make_path "$length" "${suffix#-}") ;;
  esac
  set_path "$envKey" "$type" "$text"
  before=$(path_of "$envKey") mark=$(log_lines)
  [ "$before" = "$(as_reg "$type" "$text")" ] || fail "the PATH was not set"
  stale=()
  [ "$how" = stale ] && stale=('set PATH=C:\windows\system32')
  run "${stale[@]}" "\"$winSetup\" /S /PATH=system" || fail "setup /S /PATH=system with a PATH of ${#text} characters"
  after=$(path_of "$envKey")
  if [ $((${#text} + ${#bin} + 1)) -lt 32767 ]; then
    [ "$after" = "$(as_reg "$type" "$(with_entry "$text" "$bin")")" ] ||
      fail "the PATH of ${#text} characters became: $(text_of "$after" | tail -c 300)"
    check_entry "$after" "$bin"
  else
    [ "$after" = "$before" ] && new_log "$mark" | grep -q "PATH not changed: the system PATH would become" ||
      fail "a PATH too long to take the entry: $(new_log "$mark")"
  fi
  win "$installed\\Uninstall.exe" /S
  wait_uninstaller
  [ "$(path_of "$envKey")" = "$before" ] || fail "the PATH of ${#text} characters differs after uninstalling"
  [ ! -e "$programFiles/$name" ] || fail "left in Program Files"
  note="${#text} characters, type $type"
  [ "${text: -1}" = ';' ] && note+=", final ;"
  [ "$how" = stale ] && note+=", the setup program's own PATH short and stale"
  [ "$after" = "$before" ] && note+=": left as it was (too long)" || note+=": entry added once, last"
  echo "PATH table: $note; afterwards byte for byte as before"
done <<'EOF'
2 0 - -
2 fresh - -
2 1000 ; -
2 1024 - -
2 2000 ; stale
2 8000 - -
1 1500 - -
2 32740 - -
EOF
set_path "$envKey" 2 "$(text_of "$freshPath")"
echo "== packages: PATH table after $((SECONDS - started)) s"

# Through the pages, each waited for by a text of its own, read through the Windows API: Next, I Agree, Next, the
# current user's PATH (Alt+C) and Install, then Finish. The user's PATH, absent as on a fresh Windows, is made and
# removed again; the system's is not touched.
set_path "$userKey" absent
setupTitle="^${name//./\\.} Setup ?\$"
timeout 300 wine "$setup" >/dev/null 2>&1 &
launcher=$!
window=$(find_window "$setupTitle") || fail "no setup window"
page() { # TEXT KEY...: waits up to 60 s for a control showing TEXT, then presses the keys
  local deadline=$((SECONDS + 60)) text=$1
  shift
  until probe texts "$(xdotool getwindowname "$window")" 2>/dev/null | tr -d '\r' | grep -q -x -F "$text"; do
    [ $SECONDS -lt $deadline ] || fail "the setup program did not show \"$text\""
    sleep 0.2
  done
  for key in "$@"; do xdotool key --window "$window" "$key" 2>/dev/null; done
}
page "Welcome to $name Setup" Return
page "License Agreement" Return
page "Choose Install Location" Return
page "Install Options" alt+c Return
page "Completing $name Setup" Return
timeout 60 tail --pid="$launcher" -f /dev/null || fail "the setup program did not end after Finish"
[ "$(path_of "$userKey")" = "$(as_reg 2 "$bin")" ] && [ "$(path_of "$envKey")" = "$freshPath" ] ||
  fail "after the pages: user PATH $(path_of "$userKey"), system PATH $(text_of "$(path_of "$envKey")")"
win "$installed\\Uninstall.exe" /S
wait_uninstaller
[ "$(path_of "$userKey")" = absent ] && [ "$(path_of "$envKey")" = "$freshPath" ] || fail "PATHs after uninstalling"
[ ! -e "$programFiles/$name" ] && [ "$(uninstall_entries)" = 0 ] || fail "left after uninstalling"
echo "through the pages: a user's PATH made with bin\\ alone, the system's untouched; uninstalled, the user's gone again"
echo "== packages: setup pages after $((SECONDS - started)) s"

# The zip, unpacked into a folder whose name has a space and non-ASCII letters; both programs run from there.
unpacked=$(mktemp -d)/"Outils für Админ"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked"
folder=$unpacked/$(basename "$zip" .zip)
check_window "$(winepath -w "$folder")" wine "$(winepath -w "$folder")\\VantorelAdmins.exe"
printed=$(win "$folder/bin/vantorel-admins.exe" --version | tr -d '\r')
[ "$printed" = "$version" ] || fail "unzipped vantorel-admins.exe --version printed '$printed'"
rm -rf "$(dirname "$unpacked")"
echo "unzipped into \"Outils für Админ\": the window and vantorel-admins.exe --version $printed"
echo "== packages: done in $((SECONDS - started)) s"
