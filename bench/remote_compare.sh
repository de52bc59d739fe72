#!/usr/bin/env bash
# Times `vantorel-admins set -i` on a file at an sftp:// address against OpenSSH's own `sftp -b` doing a get, a put
# and a rename of the same file, and against the same set on a local file, as whole processes taken in turns; then a
# push of one change to 10 addresses with --jobs 4 against 10 runs one after another. Prints the medians, the ratio
# of the medians and the quartiles of the ratios taken pair by pair, and the SFTP requests one set sends.
# The server is an sshd of its own on 127.0.0.1 (as the tests start it), logging each request of its sftp-server.
# Usage: bench/remote_compare.sh BUILD_DIR [RUNS]
set -euo pipefail
program=$(realpath "${1:?build folder}")/cli/vantorel-admins
runs=${2:-20}
d=$(mktemp -d)
trap 'kill "$(cat "$d/sshd.pid" 2>/dev/null)" 2>/dev/null; rm -rf "$d"' EXIT
ssh-keygen -q -t ed25519 -N '' -f "$d/host"
ssh-keygen -q -t ed25519 -N '' -f "$d/user"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$d/sshd_config" <<END
ListenAddress 127.0.0.1
Port $port
HostKey $d/host
PidFile $d/sshd.pid
UsePAM no
StrictModes no
AuthorizedKeysFile $d/user.pub
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp /usr/lib/openssh/sftp-server -e -l DEBUG3 2>>$d/sftp.log
END
printf 'UserKnownHostsFile %s\nGlobalKnownHostsFile /dev/null\nIdentityFile %s\nIdentitiesOnly yes\nBatchMode yes\n' \
  "$d/known_hosts" "$d/user" >"$d/config"
echo "[127.0.0.1]:$port $(cat "$d/host.pub")" >"$d/known_hosts"
[ "$(id -u)" -ne 0 ] || mkdir -p /run/sshd
/usr/sbin/sshd -f "$d/sshd_config" -E "$d/sshd.log"
for _ in $(seq 50); do [ -s "$d/sshd.pid" ] && break; sleep 0.1; done
export VANTOREL_ADMINS_SSH_CONFIG=$d/config
unset SSH_AUTH_SOCK
sample=$(dirname "$0")/../tests/data/sample_admins.txt
for i in $(seq 0 10); do cp "$sample" "$d/t$i.txt"; done
url() { echo "sftp://127.0.0.1:$port$d/$1"; }
printf 'get %s %s\nput %s %s\nrename %s %s\n' "$d/t0.txt" "$d/got" "$d/got" "$d/t0.txt.new" "$d/t0.txt.new" \
  "$d/t0.txt" >"$d/batch"

us() { # the wall time of one command, in microseconds
  local s e
  s=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  e=$(date +%s%N)
  echo $(((e - s) / 1000))
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
compare() { # NAME-A NAME-B TIMES-A TIMES-B
  local -n A=$3 B=$4
  local a b
  a=$(printf '%s\n' "${A[@]}" | median)
  b=$(printf '%s\n' "${B[@]}" | median)
  for i in "${!A[@]}"; do awk -v a="${A[$i]}" -v b="${B[$i]}" 'BEGIN { printf "%.4f\n", a / b }'; done |
    sort -n | awk -v n1="$1" -v n2="$2" -v a="$a" -v b="$b" '{ r[NR] = $1 } END {
      printf "%-28s median %7.1f ms\n%-28s median %7.1f ms\nratio %.2f (pairs: quartiles %.2f-%.2f, lowest %.2f, highest %.2f)\n\n",
        n1, a / 1000, n2, b / 1000, a / b, r[int((NR + 3) / 4)], r[int((3 * NR + 3) / 4)], r[1], r[NR] }'
}
set_on() { "$program" set -i "$1" --type name --id Bob --level "$2"; }

remote=() sftp=() local=() push=() oneByOne=()
for n in $(seq "$runs"); do
  level=$((1 << (n % 2 + 1))) # 2 or 4: every run changes the file
  remote+=("$(us set_on "$(url t0.txt)" $level)")
  sftp+=("$(us sftp -F "$d/config" -P "$port" -b "$d/batch" 127.0.0.1)")
  local+=("$(us set_on "$d/t1.txt" $level)")
done
targets=()
for i in $(seq 1 10); do targets+=("$(url "t$i.txt")"); done
for n in $(seq $((runs / 2))); do
  level=$((1 << (n % 2 + 1)))
  push+=("$(us "$program" set -i "${targets[@]}" --jobs 4 --type name --id Carol --level $level)")
  oneByOne+=("$(us bash -c 'for t in "${@:2}"; do "$0" set -i "$t" --type name --id Carol --level '"$((level ^ 6))"' || exit 1; done' "$program" "${targets[@]}")")
done
compare "set -i over SFTP" "sftp -b get, put, rename" remote sftp
compare "set -i over SFTP" "set -i on a local file" remote local
compare "set -i, 10 targets, --jobs 4" "10 runs one after another" push oneByOne
: >"$d/sftp.log"
set_on "$(url t0.txt)" 8 >/dev/null 2>&1
echo "SFTP requests in one set -i (each a round trip): $(grep -c '^debug3: request [0-9]*:' "$d/sftp.log")"
