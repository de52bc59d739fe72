#!/usr/bin/env bash
# vantorel-admins.exe at sftp:// addresses under Wine, against a real OpenSSH sshd started here as the current user
# on 127.0.0.1 and a free port, with its own host key, key login, and the client's configuration and known hosts in
# this test's folder. The Windows program starts its ssh with CreateProcessW; Wine cannot hand a pipe to a Linux
# program, so the ssh it starts is ssh_relay.exe, which hands every byte on to this machine's /usr/bin/ssh through
# two FIFOs. A table of runs: set -i writes what `set` writes (the golden file, and the Linux program's output on a
# copy where build/default has one) and keeps the file's mode, with ssh named by VANTOREL_ADMINS_SSH, found on PATH
# or in Windows' own OpenSSH folder; an unknown host key is refused with its fingerprint; no ssh at all says that
# OpenSSH's client is missing.
# Usage: remote_sftp.sh BUILD_DIR OUT_DIR   (WINEPREFIX set; Debian's openssh-server and openssh-client installed)
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath "$1")
out=$(realpath -m "$2")
rm -rf "$out" && mkdir -p "$out"
fail() {
  echo "remote sftp: $*" >&2
  exit 1
}
for needed in /usr/sbin/sshd /usr/bin/ssh /usr/bin/ssh-keygen; do
  [ -x "$needed" ] || { echo "remote sftp: skipped: no $needed (Debian's openssh-server and openssh-client)"; exit 0; }
done

# The server's and the client's files; a space in the folder's name, which the known_hosts option must survive.
d="$out/ssh files"
mkdir -p "$d"
ssh-keygen -q -t ed25519 -N '' -f "$d/host" && ssh-keygen -q -t ed25519 -N '' -f "$d/user"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '%s\n' "ListenAddress 127.0.0.1" "Port $port" "HostKey \"$d/host\"" "PidFile \"$d/sshd.pid\"" "UsePAM no" \
  "StrictModes no" "AuthorizedKeysFile \"$d/user.pub\"" "PasswordAuthentication no" \
  "KbdInteractiveAuthentication no" "Subsystem sftp internal-sftp" >"$d/sshd_config"
printf '%s\n' "GlobalKnownHostsFile /dev/null" "IdentityFile \"$d/user\"" "IdentitiesOnly yes" >"$d/config"
echo "[127.0.0.1]:$port $(cat "$d/host.pub")" >"$d/known_hosts"
: >"$d/no_hosts"
# The key's SHA256: fingerprint, its base64 letters escaped for the regular expressions below.
fingerprint=$(ssh-keygen -lf "$d/host.pub" | cut -d' ' -f2 | sed 's/[+/]/\\&/g')
[ "$(id -u)" -ne 0 ] || mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f "$d/sshd_config" -E "$d/sshd.log" &
sshd=$!
trap 'kill $sshd 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 $sshd 2>/dev/null || { echo "remote sftp: skipped: sshd did not start: $(cat "$d/sshd.log")"; exit 0; }
  sleep 0.1
done

# The relay in a folder named with a space and Cyrillic letters, for VANTOREL_ADMINS_SSH; as ssh.exe in a folder
# for Wine's PATH; and, for one row, in Windows' own OpenSSH folder.
relay="$out/Программы ssh/ssh relay.exe"
mkdir -p "$(dirname "$relay")" "$out/path"
cp "$build/tests/ssh_relay.exe" "$relay"
cp "$build/tests/ssh_relay.exe" "$out/path/ssh.exe"
mkfifo "$d/in.fifo" "$d/out.fifo"
system="$WINEPREFIX/drive_c/windows/system32/OpenSSH"

file="$out/KZ_admins.txt"
url="sftp://127.0.0.1:$port$file"
set_args=(--type steamid --id STEAM_0:1:12345 --grant ban)
expected="$here/../cli/set_sample.txt"
if [ -x "$build/../default/cli/vantorel-admins" ]; then
  cp "$here/../data/sample_admins.txt" "$out/linux.txt"
  "$build/../default/cli/vantorel-admins" set -i "$out/linux.txt" "${set_args[@]}" 2>/dev/null
  cmp "$out/linux.txt" "$expected" || fail "the Linux program's set differs from $expected"
  expected="$out/linux.txt"
fi

# name | ssh program (relay: VANTOREL_ADMINS_SSH; path: ssh.exe on PATH; system: in Windows' own OpenSSH folder;
# none) | known hosts | exit code of set -i | standard error (a regular expression) | the file afterwards (empty: as
# it was)
rows=(
  "set over SFTP|relay|known_hosts|0|updated SteamID:STEAM_0:1:12345 \\(line 8\\)|$expected"
  "ssh.exe found on PATH|path|known_hosts|0|updated SteamID|$expected"
  "ssh.exe found in System32\\OpenSSH|system|known_hosts|0|updated SteamID|$expected"
  "unknown host key|relay|no_hosts|2|No ED25519 host key is known for .*The server's host key is ssh-ed25519 $fingerprint; if that is its key, run again with --accept-new-host-key|"
  "no ssh at all|none|known_hosts|2|OpenSSH's client \\(ssh\\.exe\\) is missing: it is neither on PATH nor C:.windows.system32.OpenSSH.ssh\\.exe\\. Add it in Settings > Apps > Optional features > Add a feature > OpenSSH Client|"
  "an ssh that is not there|$out/nothing/ssh.exe|known_hosts|2|cannot start $out/nothing/ssh.exe: there is no such program|"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name program hosts exit err after <<<"$row"
  cp "$here/../data/sample_admins.txt" "$file"
  chmod 0604 "$file"
  environment=(VANTOREL_ADMINS_SSH_CONFIG="$d/config" VANTOREL_ADMINS_KNOWN_HOSTS="$d/$hosts"
    VANTOREL_RELAY_DIR="$d" VANTOREL_RELAY_SSH='Z:\usr\bin\ssh')
  case $program in
    relay) environment+=(VANTOREL_ADMINS_SSH="$(winepath -w "$relay")") ;;
    path) environment+=(WINEPATH="$(winepath -w "$out/path")") ;;
    system) mkdir -p "$system" && cp "$build/tests/ssh_relay.exe" "$system/ssh.exe" ;;
    none) ;;
    *) environment+=(VANTOREL_ADMINS_SSH="$program") ;;
  esac
  got=0
  env -u SSH_AUTH_SOCK -u WINEPATH "${environment[@]}" timeout 120 wine "$build/cli/vantorel-admins.exe" set -i "$url" \
    "${set_args[@]}" </dev/null >"$out/stdout.txt" 2>"$out/stderr.txt" || got=$?
  rm -rf "$system"
  tr -d '\r' <"$out/stderr.txt" >"$out/stderr-lf.txt"
  [ "$got" = "$exit" ] || fail "$name: exit code $got, not $exit: $(cat "$out/stderr-lf.txt")"
  grep -Eq "$err" "$out/stderr-lf.txt" || fail "$name: the message is not /$err/: $(cat "$out/stderr-lf.txt")"
  cmp -s "$file" "${after:-$here/../data/sample_admins.txt}" || fail "$name: the file is not ${after:-as it was}"
  [ "$(stat -c %a "$file")" = 604 ] || fail "$name: the file's mode is $(stat -c %a "$file"), not 604"
  [ ! -e "$file.lock" ] || fail "$name: the lock was left"
  echo "$name: exit code $got, $(wc -c <"$file") bytes; $(head -c 200 "$out/stderr-lf.txt" | head -n1)"
done
echo "remote sftp: ${#rows[@]} runs of vantorel-admins.exe against sshd on 127.0.0.1:$port as expected" \
  "(the file compared with $(basename "$expected"))"
