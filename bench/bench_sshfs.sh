#!/bin/sh
# The report over sshfs against `find` over the same mount: an sshd of the
# benchmark's own on 127.0.0.1 serves a folder pair, mounted with sshfs
# without its directory cache, so every stat is a round trip to the server.
# Prints why when sshd or FUSE cannot run here.
# Usage: bench/bench_sshfs.sh BUILD [N]
set -u
build=${1:-build}
n=${2:-10000}
dir=$(mktemp -d) || exit 1
pidfile=$dir/sshd.pid
cleanup() {
    [ -n "$(ls -A "$dir/mnt" 2>/dev/null)" ] && fusermount3 -u "$dir/mnt" 2>/dev/null
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
skip() {
    echo "sshfs case skipped: $*"
    exit 0
}
sshd=/usr/sbin/sshd
[ -x "$sshd" ] || skip "no $sshd (package openssh-server)"
command -v sshfs >/dev/null || skip "no sshfs (package sshfs)"
[ -c /dev/fuse ] || skip "no /dev/fuse"

mkdir -p "$dir/data/source" "$dir/data/dest" "$dir/mnt" /run/sshd 2>/dev/null
(cd "$dir/data/source" && seq -f 'file%07g.txt' 1000000 $((1000000 + n - 1)) | xargs touch)
(cd "$dir/data/dest" && seq -f 'file%07g.txt' $((1000000 + n / 2)) $((1000000 + n + n / 2 - 1)) | xargs touch)
ssh-keygen -q -t ed25519 -N '' -f "$dir/host" && ssh-keygen -q -t ed25519 -N '' -f "$dir/user" || skip "ssh-keygen failed"
cp "$dir/user.pub" "$dir/authorized"
port=
for p in $(seq 42200 42230); do
    cat >"$dir/sshd_config" <<CONF
Port $p
ListenAddress 127.0.0.1
HostKey $dir/host
AuthorizedKeysFile $dir/authorized
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
PidFile $pidfile
Subsystem sftp internal-sftp
CONF
    # The configuration by its full path: sshd runs itself again for each connection.
    if "$sshd" -f "$dir/sshd_config" -E "$dir/sshd.log" 2>>"$dir/sshd.log"; then
        sleep 0.3
        [ -s "$pidfile" ] && port=$p && break
    fi
done
[ -n "$port" ] || skip "sshd did not start: $(tail -n 3 "$dir/sshd.log")"
sshfs -p "$port" -o "IdentityFile=$dir/user,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes" \
    -o dir_cache=no,entry_timeout=0,attr_timeout=0,negative_timeout=0 \
    "$(id -un)@127.0.0.1:$dir/data" "$dir/mnt" 2>"$dir/sshfs.log" ||
    skip "sshfs could not mount: $(cat "$dir/sshfs.log")"
"$build/bench/bench_compare" "$build/src/duoscope" --folders "$dir/mnt/source" "$dir/mnt/dest" \
    "2 × $(echo "$n" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta') files over sshfs (127.0.0.1, no directory cache)"
