#!/usr/bin/env bash
# The Windows packages as a Windows user meets them, under Wine in the fresh prefix $WINEPREFIX (its server kept
# running) on the X display $DISPLAY:
#   - an upgrade, silent, from an installation in a /D= folder with bin\ on the system PATH and a desktop shortcut,
#     which keeps all three; the window from its Start-menu shortcut, vantorel-admins.exe from a new command prompt
#     and on a path longer than 259 characters, the uninstall entry, the zip holding the same files;
#   - the window and the command-line program running from the folder: the uninstaller and the setup program stop
#     with an exit code and a log line and change nothing;
#   - a table of upgrades over that installation (the same version, an older one, a misspelt option, /PATH= in
#     capitals, one that fails, another PATH, another folder), and the uninstaller of a copy of the folder, which
#     changes nothing; then the uninstall entry's silent uninstall leaves nothing behind;
#   - a table of system PATHs, each installed with the PATH option and uninstalled: our entry once, at the end,
#     every other byte and the value's type kept, and the value byte for byte as before afterwards; one too long to
#     take the entry is left as it was; a setup program started with a short, stale PATH of its own;
#   - a table of PATHs that hold our folder already, or change while it is installed, the user's among them, each
#     byte for byte as expected after uninstalling; an installation folder with non-ASCII letters;
#   - a table of folders: an empty one installed into, others not (another program's, a drive's root, Program
#     Files);
#   - an installation for the current user alone (/USER), and its uninstall; an earlier setup's installation
#     taken over;
#   - the setup program through its pages, each waited for by a text of its own, with bin\ put on the user's PATH,
#     and a second setup program stopping meanwhile;
#   - the zip unpacked into a folder named with a space and non-ASCII letters, both programs run from there.
# Every run of a setup program or uninstaller has its exit code checked. With VERIFY_CA set to a certificate file,
# the uninstaller and setup_helper.exe that the setup program installed must carry a signature it verifies.
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
expect() { # EXIT-CODE COMMAND-LINE...
  local code=0 mark
  mark=$(log_lines)
  run "${@:2}" || code=$?
  [ $code = "$1" ] || fail "${*:2} ended with exit code $code, not $1; log: $(new_log "$mark")"
}
probe() { timeout 30 "$build/tests/wine-run" "$build/tests/window_probe.exe" "$@"; }
winSetup=$(winepath -w "$setup") winOlder=$(winepath -w "$older")
log=$(winepath -u "$(win cmd /c echo %TEMP% | tr -d '\r')")/vantorel-admins-setup.log
log_lines() { if [ -f "$log" ]; then iconv -f UTF-16 -t UTF-8 "$log" | tr -d "\r" | wc -l; else echo 0; fi; }
new_log() { iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' | tail -n +$(($1 + 1)); }

productKey='Software\Microsoft\Windows\CurrentVersion\Uninstall\org.vantorel.AdminsHelper'
uninstallKey="HKLM\\$productKey"
envKey='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' userKey='HKCU\Environment'
reg_value() { # NAME [KEY]
  win reg query "${2:-$uninstallKey}" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
uninstall_entries() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 | tr -d '\r' |
    grep -c -x -F "    DisplayName    REG_SZ    $name" || true
}
# The uninstall entry's silent uninstall, as a deployment tool runs it: it must end when the uninstall has ended,
# with the given exit code.
uninstall() { # EXIT-CODE [KEY]
  local command program folder code=0 mark out err
  # Read from an export, in UTF-16, since `reg query` writes through a code page. Wine's `reg export` was seen to
  # fail once, at random, under load; a second failure is one.
  if ! win reg export "${2:-$uninstallKey}" 'C:\entry.reg' /reg:64 /y >/dev/null 2>"$drive/reg.err"; then
    echo "reg export failed ($(tr -d '\r' <"$drive/reg.err")); tried again" >&2
    win reg export "${2:-$uninstallKey}" 'C:\entry.reg' /reg:64 /y >/dev/null || fail "no uninstall entry ${2:-$uninstallKey}"
  fi
  rm -f "$drive/reg.err"
  command=$(iconv -f UTF-16 -t UTF-8 "$drive/entry.reg" | tr -d '\r' |
    sed -n 's/^"QuietUninstallString"="\(.*\)"$/\1/p' | sed 's/\\\(["\\]\)/\1/g')
  folder=$(iconv -f UTF-16 -t UTF-8 "$drive/entry.reg" | tr -d '\r' |
    sed -n 's/^"InstallLocation"="\(.*\)"$/\1/p' | sed 's/\\\(["\\]\)/\1/g')
  rm -f "$drive/entry.reg"
  program=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<<"$command")
  [ -n "$program" ] || fail "QuietUninstallString is '$command'"
  # What it says goes nowhere when a deployment tool runs it: on a wrong exit code, its output (UTF-16), Wine's
  # messages and the log's new lines say which part ended so (Wine itself ends with 1 when it cannot start it).
  mark=$(log_lines) out=$(mktemp) err=$(mktemp)
  # shellcheck disable=SC2046 # the arguments after the program
  win "$program" $(sed 's/^"[^"]*" *//' <<<"$command") >"$out" 2>"$err" || code=$?
  [ $code = "$1" ] || fail "$command ended with exit code $code, not $1; it said: \
$(iconv -f UTF-16 -t UTF-8 "$out" 2>/dev/null | tr -d '\r'); Wine said: $(tr -d '\r' <"$err")
log: $(new_log "$mark")"
  rm -f "$out" "$err"
  # Once it has returned, the folder is gone, setup_helper.exe and the uninstaller too.
  [ "$1" != 0 ] || [ ! -e "$(winepath -u "$folder")" ] || fail "left in $folder: $(ls "$(winepath -u "$folder")" | xargs)"
}
# The Path value of a key exactly as stored, as `reg export` writes it: hex(2): and every byte for REG_EXPAND_SZ,
# the quoted text for REG_SZ; "absent" when there is none.
path_of() { # KEY
  # Under load, a Wine program was seen to end with 1 now and then without starting (1 in 150 starts of reg.exe):
  # the test's own reading of the registry is tried once more, and says so.
  win reg export "$1" 'C:\path.reg' /reg:64 /y >/dev/null ||
    { echo "reg export $1 failed; tried again" >&2 && win reg export "$1" 'C:\path.reg' /reg:64 /y >/dev/null; } ||
    fail "reg export $1"
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
# The state of an installation: every file with its time and size, the uninstall entry, both PATHs, the folders
# beside it.
state() { # FOLDER
  (cd "$1" && find . -printf '%p %T@ %s\n' | sort)
  ls -a "$(dirname "$1")"
  win reg query "$uninstallKey" /reg:64 | tr -d '\r'
  path_of "$envKey"
  path_of "$userKey"
}

programFiles="$drive/Program Files"
startMenu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/$name"
desktop="$drive/users/Public/Desktop/$name.lnk"
freshPath=$(path_of "$envKey")

# An upgrade, silent, from 0.99 installed into a folder of its own (/D=, unquoted, with a space) with bin\ on the
# system PATH and a desktop shortcut: the new version goes into the same folder and keeps both.
tools='C:\Tools\Vantorel KZ' toolsUnix="$drive/Tools/Vantorel KZ"
expect 0 "\"$winOlder\" /S /PATH=system /DESKTOP=yes /D=$tools"
[ "$(reg_value DisplayVersion)" = 0.99 ] && [ -f "$desktop" ] || fail "0.99 not installed with a desktop shortcut"
expect 0 "\"$winSetup\" /S"
[ -f "$toolsUnix/VantorelAdmins.exe" ] && [ -f "$toolsUnix/bin/vantorel-admins.exe" ] || fail "nothing in $tools"
[ ! -e "$programFiles/$name" ] && [ ! -e "$drive/Program Files (x86)/$name" ] || fail "installed into Program Files"
for value in "DisplayName=$name" "DisplayVersion=$version" Publisher=Vantorel "InstallLocation=$tools" \
  "DisplayIcon=$tools\\VantorelAdmins.exe" "UninstallString=\"$tools\\setup_helper.exe\" uninstall" \
  "QuietUninstallString=\"$tools\\setup_helper.exe\" uninstall /S" PathScope=system "PathEntry=$tools\\bin" \
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
diff <(cd "$toolsUnix" && find . -type f | sort) <( (unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/|./|'
  printf './%s\n' Uninstall.exe setup_helper.exe vantorel-installation.txt) | sort) ||
  fail "the installation holds other files than the zip, the uninstaller, setup_helper.exe and the marker"
# The marker lists every file installed, itself included, and nothing else.
diff <(tail -n +2 "$toolsUnix/vantorel-installation.txt" | tr -d '\r' | sort) \
  <(cd "$toolsUnix" && find . -type f | sed 's|^\./||; s|/|\\|g' | sort) || fail "the marker lists other files"
if [ -n "${VERIFY_CA:-}" ]; then
  for signed in Uninstall.exe setup_helper.exe; do
    osslsigncode verify -CAfile "$VERIFY_CA" -in "$toolsUnix/$signed" >/dev/null || fail "$signed: no valid signature"
  done
  echo "the installed Uninstall.exe and setup_helper.exe carry valid signatures"
fi

# The window, then the command-line program, running from the folder: the uninstaller (waited for with _?=) and the
# setup program stop with an exit code and a log line, and change nothing.
timeout 600 wine "$tools\\VantorelAdmins.exe" >/dev/null 2>&1 &
app=$!
find_window "^${name//./\\.}\$" >/dev/null || fail "the window did not appear"
before=$(state "$toolsUnix") mark=$(log_lines)
expect 5 "\"$tools\\Uninstall.exe\" /S _?=$tools"
expect 5 "\"$winSetup\" /S"
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
expect 5 "\"$tools\\Uninstall.exe\" /S _?=$tools"
[ "$(state "$toolsUnix")" = "$before" ] || fail "changed while vantorel-admins.exe ran"
new_log "$mark" | grep -q -x -F "[uninstall $version] running from $tools: $tools\\bin\\vantorel-admins.exe" ||
  fail "log: $(new_log "$mark")"
kill "$writer"
wait "$cli" || fail "vantorel-admins.exe check did not end when its input did"
rm -f "$fifo"
echo "with the window, then vantorel-admins.exe running: uninstall and upgrade stopped (exit code 5), nothing changed"

# Upgrades over the installation in $tools, one after another: the exit code, the version, folder and PATH choice
# recorded, and the PATHs after each (the system's and the user's: as before the first installation, or with our
# entry added). A refused or failed one changes nothing at all; the failed one meets a command prompt whose current
# folder is the installation, which keeps Windows (and Wine) from renaming it.
moved='C:\Moved Vantorel' movedUnix="$drive/Moved Vantorel"
freshUser=$(path_of "$userKey")
while IFS='|' read -r what code command folder scope systemEntry userEntry; do
  held=
  if [ "$what" = "failed, the folder in use" ]; then
    fifo=$(mktemp -u) && mkfifo "$fifo"
    rm -f "$drive/ready.txt"
    timeout 300 wine cmd /k "cd /d $tools & echo ready>C:\\ready.txt" <"$fifo" >/dev/null 2>&1 &
    held=$!
    sleep 300 >"$fifo" &
    writer=$!
    until [ -s "$drive/ready.txt" ]; do sleep 0.2; done
  fi
  folderUnix=$toolsUnix
  [ "$folder" = "$tools" ] || folderUnix=$movedUnix
  before=$(state "$toolsUnix")
  command=${command//@SETUP@/\"$winSetup\"}
  expect "$code" "${command//@OLDER@/\"$winOlder\"}"
  if [ -n "$held" ]; then
    kill "$writer"
    wait "$held" || true
    rm -f "$fifo" "$drive/ready.txt"
  fi
  [ "$code" = 0 ] || [ "$(state "$toolsUnix")" = "$before" ] || fail "$what: changed though refused"
  [ "$(reg_value InstallLocation)" = "$folder" ] && [ "$(reg_value PathScope)" = "$scope" ] &&
    [ "$(reg_value DisplayVersion)" = "$version" ] && [ -f "$folderUnix/vantorel-installation.txt" ] ||
    fail "$what: $(reg_value DisplayVersion) in $(reg_value InstallLocation), PATH $(reg_value PathScope)"
  [ "$folder" = "$tools" ] || [ ! -e "$toolsUnix" ] || fail "$what: the old folder is left: $(find "$toolsUnix" | xargs)"
  ! ls "$(dirname "$folderUnix")" | grep -q -e '~new' -e '~old' || fail "$what: $(ls "$(dirname "$folderUnix")" | xargs)"
  expected=$freshPath
  [ "$systemEntry" = - ] || expected=$(as_reg 2 "$(with_entry "$(text_of "$freshPath")" "$systemEntry")")
  [ "$(path_of "$envKey")" = "$expected" ] || fail "$what: system PATH $(text_of "$(path_of "$envKey")")"
  expected=$freshUser
  [ "$userEntry" = - ] || expected=$(as_reg 2 "$userEntry")
  [ "$(path_of "$userKey")" = "$expected" ] || fail "$what: user's PATH $(path_of "$userKey")"
  [ "$(uninstall_entries)" = 1 ] || fail "$what: $(uninstall_entries) uninstall entries"
  echo "upgrade table: $what: exit code $code; $version in $folder, PATH: $scope"
done <<EOF
the same version|0|@SETUP@ /S|$tools|system|$tools\\bin|-
an older one, refused|6|@OLDER@ /S|$tools|system|$tools\\bin|-
a misspelt option, refused|3|@SETUP@ /S /PATHS=none|$tools|system|$tools\\bin|-
/PATH= in capitals|0|@SETUP@ /S /PATH=SYSTEM|$tools|system|$tools\\bin|-
failed, the folder in use|8|@SETUP@ /S|$tools|system|$tools\\bin|-
the user's PATH instead|0|@SETUP@ /s /path=User|$tools|user|-|$tools\\bin
another folder, the system PATH|0|@SETUP@ /S /PATH=system /D=$moved|$moved|system|$moved\\bin|-
EOF
tools=$moved toolsUnix=$movedUnix

# The uninstaller of a copy of the folder, run either way, changes nothing: neither the copy nor the installation.
cp -a "$toolsUnix" "$drive/Backup"
before=$(state "$toolsUnix") copy=$(cd "$drive/Backup" && find . -printf '%p %T@ %s\n' | sort)
expect 9 '"C:\Backup\setup_helper.exe" uninstall /S'
expect 9 '"C:\Backup\Uninstall.exe" /S _?=C:\Backup'
[ "$(state "$toolsUnix")" = "$before" ] && [ "$(cd "$drive/Backup" && find . -printf '%p %T@ %s\n' | sort)" = "$copy" ] ||
  fail "the uninstaller of a copy changed something"
# Without its uninstaller, setup_helper.exe says why in the log and ends with a code of its own, not 1.
rm "$drive/Backup/Uninstall.exe"
mark=$(log_lines)
expect 13 '"C:\Backup\setup_helper.exe" uninstall /S'
new_log "$mark" | grep -q -F '[setup_helper] C:\Backup\Uninstall.exe could not be started (' ||
  fail "setup_helper.exe without Uninstall.exe, log: $(new_log "$mark")"
rm -rf "$drive/Backup"
echo "the uninstaller of a copy in C:\\Backup, run either way: exit code 9, the copy and the installation unchanged; without Uninstall.exe, exit code 13 and a log line"

# The uninstall entry's silent uninstall leaves nothing behind, and the PATHs as they were before the first
# installation.
uninstall 0
[ ! -e "$toolsUnix" ] || fail "left in the installation folder: $(find "$toolsUnix" | xargs)"
[ ! -e "$startMenu" ] && [ ! -e "$desktop" ] || fail "shortcuts left"
for view in 64 32; do
  ! win reg query "$uninstallKey" /reg:$view >/dev/null 2>&1 || fail "the uninstall entry is left"
  ! win reg query "HKLM\\Software\\Vantorel" /reg:$view >/dev/null 2>&1 || fail "a key of ours is left"
done
[ "$(path_of "$envKey")" = "$freshPath" ] && [ "$(path_of "$userKey")" = "$freshUser" ] ||
  fail "PATHs after uninstalling: $(text_of "$(path_of "$envKey")"); $(path_of "$userKey")"
echo "uninstalled (exit code 0, once done): no folder, shortcut or registry entry left; the PATHs as before"
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
  fits=$(($((${#text} + ${#bin} + 1)) < 32767))
  expect $((fits ? 0 : 11)) "${stale[@]}" "\"$winSetup\" /S /PATH=system"
  after=$(path_of "$envKey")
  if [ $fits = 1 ]; then
    [ "$after" = "$(as_reg "$type" "$(with_entry "$text" "$bin")")" ] ||
      fail "the PATH of ${#text} characters became: $(text_of "$after" | tail -c 300)"
    check_entry "$after" "$bin"
  else
    [ "$after" = "$before" ] && new_log "$mark" | grep -q "PATH not changed: the system PATH would become" ||
      fail "a PATH too long to take the entry: $(new_log "$mark")"
  fi
  uninstall 0
  [ "$(path_of "$envKey")" = "$before" ] || fail "the PATH of ${#text} characters differs after uninstalling"
  [ ! -e "$programFiles/$name" ] || fail "left in Program Files"
  note="${#text} characters, type $type"
  [ "${text: -1}" = ';' ] && note+=", final ;"
  [ "$how" = stale ] && note+=", the setup program's own PATH short and stale"
  [ "$after" = "$before" ] && note+=": left as it was (too long, exit code 11)" || note+=": entry added once, last"
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

# PATHs that name our folder already, or change while it is installed. Each row sets a PATH (the system's or the
# user's, REG_EXPAND_SZ 2 or REG_SZ 1, or absent), installs with /PATH= for it, checks that our entry was added
# last or (when the PATH names the folder already, in any spelling) that nothing was, then sets the PATH to what
# the user made of it meanwhile, uninstalls, and compares the value byte for byte with the expected one, of the
# type it had. @FRESH@ is the fresh prefix's system PATH, @BIN@ the installation's bin\, @LONG@ a PATH that is with
# @BIN@ longer than Windows' limit.
long=$(make_path 32740 '')
while IFS='|' read -r what scope type text added meanwhile expected; do
  for field in text meanwhile expected; do
    value=${!field//@FRESH@/$(text_of "$freshPath")} value=${value//@LONG@/$long}
    value=${value//@BIN_LOWER@/${bin,,}}
    printf -v "$field" '%s' "${value//@BIN@/$bin}"
  done
  key=$envKey
  [ "$scope" = user ] && key=$userKey
  set_path "$key" "$type" "$text"
  before=$(path_of "$key")
  expect 0 "\"$winSetup\" /S /PATH=$scope"
  after=$(path_of "$key")
  if [ "$added" = yes ]; then
    [ "$after" = "$(as_reg "${type/absent/2}" "$(with_entry "$text" "$bin")")" ] || fail "$what: $(text_of "$after")"
  else
    [ "$after" = "$before" ] || fail "$what: changed to $(text_of "$after")"
  fi
  [ "$meanwhile" = - ] || set_path "$key" "$type" "$meanwhile"
  uninstall 0
  [ "$expected" = absent ] || expected=$(as_reg "$type" "$expected")
  [ "$(path_of "$key")" = "$expected" ] || fail "$what: after uninstalling $(text_of "$(path_of "$key")" | tail -c 300)"
  echo "PATH entries: $what: $([ "$added" = yes ] && echo "added, then removed alone" || echo "none added or removed")"
done <<'EOF'
ours in small letters|system|2|@FRESH@;@BIN_LOWER@|no|-|@FRESH@;@BIN_LOWER@
ours with a final backslash|system|2|@FRESH@;@BIN@\|no|-|@FRESH@;@BIN@\
ours in quotes|system|2|"@BIN@";@FRESH@|no|-|"@BIN@";@FRESH@
ours twice|system|2|@FRESH@;@BIN@;@BIN@|no|-|@FRESH@;@BIN@;@BIN@
another entry twice|system|2|@FRESH@;C:\Dup;C:\Dup;|yes|-|@FRESH@;C:\Dup;C:\Dup;
ours not last at uninstall|system|2|@FRESH@|yes|@FRESH@;@BIN@;C:\Later|@FRESH@;C:\Later
over the limit at uninstall|system|2|@FRESH@|yes|@LONG@;@BIN@|@LONG@
the user's, REG_SZ|user|1|C:\Mine;%USERPROFILE%\Tools|yes|-|C:\Mine;%USERPROFILE%\Tools
the system's missing|system|absent||yes|-|absent
EOF
set_path "$envKey" 2 "$(text_of "$freshPath")"
set_path "$userKey" absent

# An installation folder with non-ASCII letters, named on wine's command line (a batch file would pass it through
# a code page): its entry goes onto the PATH and off it again, byte for byte.
wine "$setup" /S /PATH=system '/D=C:\Админ-für\Vantorel' </dev/null >/dev/null 2>&1 || fail "setup into C:\\Админ-für"
[ "$(path_of "$envKey")" = "$(as_reg 2 "$(with_entry "$(text_of "$freshPath")" 'C:\Админ-für\Vantorel\bin')")" ] &&
  [ -f "$drive/Админ-für/Vantorel/bin/vantorel-admins.exe" ] || fail "C:\\Админ-für: $(text_of "$(path_of "$envKey")")"
uninstall 0
[ "$(path_of "$envKey")" = "$freshPath" ] && [ ! -e "$drive/Админ-für/Vantorel" ] || fail "C:\\Админ-für: left"
rm -rf "$drive/Админ-für"
echo "installed into C:\\Админ-für\\Vantorel: its bin\\ added to the system PATH and removed again, byte for byte"

# Folders: an empty one is installed into; one with another program's files, a drive's root and Program Files are
# refused with exit code 4, and nothing in them changes.
mkdir -p "$drive/Empty" "$drive/Other Program"
printf 'theirs' >"$drive/Other Program/Qt6Core.dll"
printf 'theirs' >"$drive/Other Program/Uninstall.exe"
while IFS='|' read -r folder code; do
  unix=$(winepath -u "$folder")
  listing=$(cd "$unix" && find . -maxdepth 1 ! -name . ! -name run.bat ! -name path.reg -printf '%p %T@ %s\n' | sort)
  expect "$code" "\"$winSetup\" /S /D=$folder"
  if [ "$code" = 0 ]; then
    [ "$(reg_value InstallLocation)" = "$folder" ] || fail "not installed into $folder"
    uninstall 0
  else
    [ "$(cd "$unix" && find . -maxdepth 1 ! -name . ! -name run.bat ! -name path.reg -printf '%p %T@ %s\n' |
      sort)" = "$listing" ] && [ "$(uninstall_entries)" = 0 ] || fail "$folder changed though refused"
  fi
  echo "folders: $folder: exit code $code"
done <<'EOF'
C:\Empty|0
C:\Other Program|4
C:\|4
C:\Program Files|4
EOF
[ "$(cat "$drive/Other Program/Qt6Core.dll" "$drive/Other Program/Uninstall.exe")" = theirstheirs ] ||
  fail "another program's files changed"
rm -rf "$drive/Empty" "$drive/Other Program"

# For the current user alone (/USER), without the rights Wine gives every account anyway: into the user's
# Programs, registered under HKCU, bin\ on the user's PATH, the shortcuts the user's; nothing for every user.
localAppData=$(winepath -u "$(win cmd /c echo %LOCALAPPDATA% | tr -d '\r')")
userFolder="$localAppData/Programs/$name" userUninstallKey="HKCU\\$productKey"
expect 0 "\"$winSetup\" /S /USER /PATH=user /DESKTOP=yes"
userDesktop=$(winepath -u "$(win cmd /c echo %USERPROFILE% | tr -d '\r')")/Desktop/$name.lnk
[ -f "$userFolder/VantorelAdmins.exe" ] && [ "$(uninstall_entries)" = 0 ] && [ -f "$userDesktop" ] &&
  [ "$(reg_value InstallLocation "$userUninstallKey")" = "$(winepath -w "$userFolder")" ] &&
  [ "$(path_of "$userKey")" = "$(as_reg 2 "$(winepath -w "$userFolder")\\bin")" ] &&
  [ "$(path_of "$envKey")" = "$freshPath" ] || fail "for the current user: $(ls "$localAppData/Programs")"
uninstall 0 "$userUninstallKey"
[ ! -e "$userFolder" ] && [ ! -e "$userDesktop" ] && [ "$(path_of "$userKey")" = absent ] &&
  ! win reg query "$userUninstallKey" /reg:64 >/dev/null 2>&1 || fail "left after uninstalling for the current user"
echo "for the current user (/USER): installed into %LOCALAPPDATA%\\Programs with the user's PATH, and uninstalled"

# An installation as earlier setup programs left it: registered under the program's name, without the marker, its
# bin\ on the system PATH. The upgrade takes it over: the product's key instead, the PATH entry recorded (and not
# added twice), the marker written; its uninstall then leaves the PATH as before.
expect 0 "\"$winOlder\" /S /PATH=system"
rm "$programFiles/$name/vantorel-installation.txt"
printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\%s\\%s]\r\n%s\n' \
  'Software\Microsoft\Windows\CurrentVersion\Uninstall' "$name" "$(printf '"%s"="%s"\r\n' DisplayName "$name" \
  DisplayVersion 0.99 InstallLocation "${installed//\\/\\\\}" UninstallString "\\\"${installed//\\/\\\\}\\\\Uninstall.exe\\\"" \
  PathScope system)" | iconv -t UTF-16LE >"$drive/legacy.reg"
win reg import 'C:\legacy.reg' /reg:64 >/dev/null 2>&1 || fail "reg import of an earlier setup's entry"
win reg delete "$uninstallKey" /f /reg:64 >/dev/null
rm "$drive/legacy.reg"
expect 0 "\"$winSetup\" /S"
[ "$(reg_value InstallLocation)" = "$installed" ] && [ "$(reg_value PathEntry)" = "$bin" ] &&
  [ "$(uninstall_entries)" = 1 ] && [ -f "$programFiles/$name/vantorel-installation.txt" ] &&
  [ "$(path_of "$envKey")" = "$(as_reg 2 "$(with_entry "$(text_of "$freshPath")" "$bin")")" ] ||
  fail "an earlier setup's installation not taken over: $(reg_value InstallLocation), $(reg_value PathEntry)"
uninstall 0
[ "$(path_of "$envKey")" = "$freshPath" ] && [ "$(uninstall_entries)" = 0 ] && [ ! -e "$programFiles/$name" ] ||
  fail "the installation taken over is not uninstalled whole"
echo "an earlier setup's installation (its key named after the program, no marker) taken over and uninstalled"
echo "== packages: PATH entries, folders, /USER and an earlier setup's installation after $((SECONDS - started)) s"

# Through the pages, each waited for by a text of its own, read through the Windows API: Next, for anyone (Next),
# I Agree, Next, the current user's PATH (Alt+C) and Install, then Finish. The user's PATH, absent as on a fresh Windows, is made and
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
# While it shows its pages, another setup program stops at once: one runs at a time.
page "Welcome to $name Setup"
expect 7 "\"$winSetup\" /S"
page "Welcome to $name Setup" Return
page "Choose Users" Return
page "License Agreement" Return
page "Choose Install Location" Return
page "Install Options" alt+c Return
page "Completing $name Setup" Return
timeout 60 tail --pid="$launcher" -f /dev/null || fail "the setup program did not end after Finish"
[ "$(path_of "$userKey")" = "$(as_reg 2 "$bin")" ] && [ "$(path_of "$envKey")" = "$freshPath" ] ||
  fail "after the pages: user PATH $(path_of "$userKey"), system PATH $(text_of "$(path_of "$envKey")")"
uninstall 0
[ "$(path_of "$userKey")" = absent ] && [ "$(path_of "$envKey")" = "$freshPath" ] || fail "PATHs after uninstalling"
[ ! -e "$programFiles/$name" ] && [ "$(uninstall_entries)" = 0 ] || fail "left after uninstalling"
echo "through the pages (meanwhile a second setup program stopped, exit code 7): a user's PATH made with bin\\ alone, the system's untouched; uninstalled, the user's gone again"
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
