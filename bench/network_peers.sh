#!/usr/bin/env bash
# Times kalmora-cli against find, diff -rq and rsync -rtn on a tree pair mounted over SSH (sshfs,
# cache=no), as compare_peers.sh does on a local one: every file costs a round trip.
#
# usage: bench/network_peers.sh [--files N] [--pair DIR] [--port P] [compare_peers.sh options ...]
#
# The pair is generated in DIR (default /tmp/kalmora-net-pair, kept for the next run), an SSH server is
# started on 127.0.0.1:P (default 2222) with a key made for it, and DIR is mounted read-only under a
# temporary folder. Both are undone on exit; should the script be killed, undo them by hand:
#   fusermount3 -u /tmp/kalmora-net.*/mnt; kill "$(cat /tmp/kalmora-net.*/sshd.pid)"
# Needs openssh-server and sshfs (installed when missing) and /dev/fuse. A bench, not a test.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FILES=10000
PAIR=/tmp/kalmora-net-pair
PORT=2222
PASS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES=${2:?}; shift 2 ;;
        --pair) PAIR=${2:?}; shift 2 ;;
        --port) PORT=${2:?}; shift 2 ;;
        -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) PASS+=("$1"); shift ;;
    esac
done

for tool in /usr/sbin/sshd:openssh-server sshfs:sshfs; do
    command -v "${tool%%:*}" >/dev/null || apt-get install -y --no-install-recommends "${tool#*:}" >/dev/null
done

if ! [ -d "$PAIR/left" ] || ! [ -d "$PAIR/right" ]; then
    mkdir -p "$PAIR"
    python3 "$ROOT/bench/make_tree_pair.py" --files "$FILES" "$PAIR"
fi

WORK=$(mktemp -d /tmp/kalmora-net.XXXXXX)
MNT=$WORK/mnt
mkdir -p "$MNT"
cleanup() {
    fusermount3 -u "$MNT" 2>/dev/null || true
    [ -f "$WORK/sshd.pid" ] && kill "$(cat "$WORK/sshd.pid")" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

ssh-keygen -q -t ed25519 -N '' -f "$WORK/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$WORK/client_key"
cp "$WORK/client_key.pub" "$WORK/authorized_keys"
cat >"$WORK/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $PORT
HostKey $WORK/host_key
PidFile $WORK/sshd.pid
AuthorizedKeysFile $WORK/authorized_keys
PasswordAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
Subsystem sftp internal-sftp
EOF
mkdir -p /run/sshd
/usr/sbin/sshd -f "$WORK/sshd_config"
for _ in $(seq 50); do [ -s "$WORK/sshd.pid" ] && break; sleep 0.1; done

sshfs -p "$PORT" "$(id -un)@127.0.0.1:$PAIR" "$MNT" \
    -o ro,cache=no,IdentityFile="$WORK/client_key",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null
echo "mounted $PAIR on $MNT over sshfs (cache=no)"
if [ -n "${PROBE:-}" ]; then "$PROBE" "$MNT"; else "$ROOT/bench/compare_peers.sh" --keep "$MNT" "${PASS[@]}"; fi
