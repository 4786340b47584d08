#!/usr/bin/env bash
# The shell helpers (lib.sh) end to end: up, exec, spawn, the call log, UCI
# through the stand-in, frames between a port and its peer, down.
set -uo pipefail
. "$(dirname "$0")/../lib.sh"

if ! sb_available; then
  echo "sandbox test skipped: needs root with mount and network namespaces (unshare, nsenter)"
  exit 77
fi

failed=0
expect() {  # expect WHAT COMMAND...: the command must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}

state=$(mktemp -d "${TMPDIR:-/tmp}/rt-libtest.XXXXXX")
fake=$(mktemp -d "${TMPDIR:-/tmp}/rt-libtest-build.XXXXXX")
mkdir -p "$fake/bin"
printf '#!/bin/sh\n[ "$1" = get ] && [ "$2" = wireless.radio0.channel ] && echo auto\n' >"$fake/bin/uci"
chmod +x "$fake/bin/uci"
trap 'sb_down; rm -rf "$state" "$fake"' EXIT

RT_BINARY_DIR=$fake sb_up "$state" || { echo "FAILED: sb_up"; exit 1; }
trap 'sb_down; rm -rf "$state" "$fake"' EXIT

expect "exec returns the command's status" test "$(sb_exec sh -c 'exit 3'; echo $?)" = 3
sb_write tmp/kpsm_connect_status "1"
expect "state files are shared" test "$(sb_exec cat /tmp/kpsm_connect_status)" = 1
pid=$(sb_spawn "$(sb_path spawn.log)" sh -c 'sleep 0.2; echo admin:x | chpasswd; echo done')
expect "spawn prints a PID" test "$pid" -gt 0
expect "wait_for_call sees the stand-in" sb_wait_for_call chpasswd admin:x 10000
expect "the call log shows stdin" sh -c "$(declare -f sb_calls); SB_HOME='$SB_HOME' SB_STATE='$SB_STATE' sb_calls chpasswd | grep -q 'admin:x'"
expect "uci_get reads through the uci tool" test "$(sb_uci_get wireless.radio0.channel)" = auto
expect "uci_get is not logged" test -z "$(sb_calls uci)"
frame=0180c200000e020000000001'88cc'$(printf 'a5%.0s' $(seq 1 46))
( sb_recv_frame eth1 10000 >"$state/frame.out" ) &
reader=$!
# The reader needs a moment to open its socket: send until it has a frame.
for _ in $(seq 1 40); do
  sb_exec /usr/bin/python3 /var/run/.sandbox/lib/frame.py send eth1 "$frame"
  kill -0 "$reader" 2>/dev/null || break
  sleep 0.25
done
wait "$reader"
expect "a frame sent on a port arrives on its peer" test "$(cat "$state/frame.out")" = "$frame"

holder=$(cat "$state/ns.pid")
expect "down" sb_down
gone() {  # exited, whether or not its parent reaped it yet
  case "$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null)" in ''|Z|X) return 0 ;; *) return 1 ;; esac
}
expect "the holder is gone" gone "$holder"
trap 'rm -rf "$state" "$fake"' EXIT
[ "$failed" -eq 0 ]
