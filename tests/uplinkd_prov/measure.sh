#!/usr/bin/env bash
# Measures uplinkd's provisioning in the sandbox (root, built tree):
#  - status request to the eighth reply frame (ontsim's timing), several runs
#  - deadline (last delivery + 5 s) to the last command of the apply pass
#  - processes started per full apply pass and per status request (call log)
#  - resident memory after the first pass and after 2000 deliveries in 20 passes
# Prints figures; measures, asserts nothing.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
. "$repo/tests/sandbox/lib.sh"
export RT_BINARY_DIR=${RT_BINARY_DIR:-$repo/build}
bin=$RT_BINARY_DIR/bin
runs=${RUNS:-5}

state=$(mktemp -d "${TMPDIR:-/tmp}/rt-measure.XXXXXX")
sb_up "$state" || exit 1
pid=$(sb_spawn "$state/uplinkd.log" "$bin/uplinkd")
sleep 1
ont() { sb_exec "$bin/ontsim" -i p-eth3 "$@"; }
# A session lapses after 30 s without an ONT frame: start a fresh one per run.
reauth() {
  ont -t 200 fail >/dev/null 2>&1
  for _ in $(seq 10); do ont -t 1000 auth >/dev/null 2>&1 && break; sleep 0.3; done
  sleep 0.5
}
reauth
rss() { awk '/VmRSS/ {print $2 " kB"}' "/proc/$pid/status"; }
calls() { wc -l <"$state/calls.log"; }
deliver() {  # deliver KIND PROFILE; prints the monotonic time after the last delivery
  local kind=$1 msgs i args
  mapfile -t msgs < <("$bin/provgen" "$2")
  for ((i = 0; i < ${#msgs[@]}; i += 25)); do
    args=()
    for m in "${msgs[@]:i:25}"; do args+=("$kind" "$m"); done
    ont -t 1 "${args[@]}" >/dev/null
  done
  python3 -c 'import time; print(time.monotonic())'
}
# Seconds from `deadline` to the last call logged from line `from` on, and the call count.
pass_figures() {
  python3 - "$state/calls.log" "$1" "$2" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().splitlines()[int(sys.argv[2]):]
calls = [json.loads(l) for l in lines if l.strip()]
deadline = float(sys.argv[3])
if calls:
    print(f"{calls[-1]['t'] - deadline:.3f} {len(calls)} {sum(1 for c in calls if c['prog'] in ('sh', '/bin/sh'))}")
else:
    print("nan 0 0")
PY
}

echo "== status request to the eighth reply frame ($runs runs)"
from=$(calls)
for _ in $(seq "$runs"); do ont -t 1000 status | sed -n 's/^status: last record \([0-9]*\) ms.*/\1/p'; done | sort -n | tr '\n' ' '
echo "ms"
echo "   processes per status request: $(( ($(calls) - from) / runs ))"

profile=$repo/tests/uplinkd_prov/profiles/operator.omci
alt=$(mktemp); sed -e 's/Operator-5G/Operator-5G-b/' -e 's/vlan_id 100/vlan_id 101/' -e 's/stun.operator/stun2.operator/' \
  -e 's/mqtt.operator/mqtt2.operator/' -e 's/43200/43201/' "$profile" >"$alt"
echo "== apply passes of all five kinds, alternating two profiles ($runs runs)"
for r in $(seq "$runs"); do
  p=$profile; [ $((r % 2)) -eq 1 ] && p=$alt
  reauth
  from=$(calls)
  t=$(deliver omci "$p")
  sleep 7.5
  pass_figures "$from" "$(python3 -c "print($t + 5.0)")"
done | sort -n | awk '{print "   deadline to last command " $1 " s, " $2 " processes, " $3 " shells"}'
echo "   resident memory after these passes: $(rss)"

echo "== memory: 2000 deliveries in 20 passes"
mapfile -t msgs < <("$bin/provgen" "$profile")
before=$(rss)
for pass in $(seq 20); do
  ont -t 100 keepalive >/dev/null
  n=0
  while [ $n -lt 100 ]; do
    args=()
    for m in "${msgs[@]:0:25}"; do args+=(omci "$m"); done
    ont -t 1 "${args[@]}" >/dev/null
    n=$((n + 25))
  done
  sleep 6.2
done
echo "   before: $before   after: $(rss)"
kill "$pid"
sb_down
rm -f "$alt"
rm -rf "$state"
