#!/usr/bin/env bash
# Brings the sandboxed router up, shows its ports, configuration and WAN
# state, makes a few calls to show the call log, and takes it down again.
# Exits non-zero when any step failed.
set -uo pipefail
. "$(dirname "$0")/lib.sh"

if ! sb_available; then
  echo "demo: the sandboxed router needs root and namespaces (unshare); run it as root"
  exit 1
fi

failed=0
step() { printf '\n== %s\n' "$*"; }
check() { "$@" || { echo "demo: FAILED: $*"; failed=1; }; }

state=$(mktemp -d "${TMPDIR:-/tmp}/rt-demo.XXXXXX")
step "bringing the sandbox up in $state"
sb_up "$state" || { echo "demo: the sandbox did not come up"; exit 1; }

step "the router's ports (ip -br link)"
check sb_exec ip -br link

step "UCI packages in /etc/config"
check sb_exec ls /etc/config
if [ -x "$(cat "$state/binary_dir")/bin/uci" ]; then
  step "uci show network (the project's uci tool through the stand-in)"
  check sb_exec uci show network
else
  step "/etc/config/network (build the uci tool to see it through uci)"
  check sb_exec cat /etc/config/network
fi

step "WAN service state (ubus call syswan all)"
check sb_exec ubus call syswan all

step "a few calls: change the PPPoE account, set a password, reload Wi-Fi"
check sb_exec ubus call syswan modify '{"wanId":1,"wanMode":1,"ipProtocol":1,"ipMode":2,"pppUser":"demo\"user","pppPwd":"p$(touch /tmp/x)w"}'
check sb_exec ubus call syswan get '{"wanId": 1}'
check sb_exec sh -c "echo 'admin:pqr' | chpasswd"
check sb_exec wifi reload
check sb_exec logger -t demo "hello from inside the sandbox"
if [ -e "$state/tmp/x" ]; then echo "demo: FAILED: a value was executed"; failed=1; fi

step "call log ($state/calls.log)"
check sb_calls
step "syslog ($state/syslog.log)"
check cat "$state/syslog.log"

step "taking it down"
check sb_down
trap - EXIT
if ip -br link | grep -qE '^(p-)?(eth[0-3]|wan1_4096)@|^br-lan '; then
  echo "demo: FAILED: sandbox ports left on the host"; failed=1
fi
rm -rf "$state"
[ "$failed" -eq 0 ] && echo "demo: all steps passed" || echo "demo: some steps failed"
exit "$failed"
