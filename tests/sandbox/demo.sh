#!/usr/bin/env bash
# The provisioning demo: in the sandboxed router, uplinkd meets an ONT
# (ontsim on the other end of eth3), is authenticated and provisioned with a
# realistic operator profile, applies it five seconds after the last
# delivery, and reports it back in the eight status records.
#
#   tests/sandbox/demo.sh          provisioning over OMCI (GPON)
#   tests/sandbox/demo.sh --oam    the same kind of profile over OAM (EPON)
#
# Self-checking: exits non-zero when anything it shows did not happen.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
. "$here/lib.sh"

kind=omci
case "${1:-}" in
  "") ;;
  --oam) kind=oam ;;
  *) echo "usage: $0 [--oam]"; exit 2 ;;
esac
profile=$repo/tests/uplinkd_prov/profiles/operator.$kind

if ! sb_available; then
  echo "demo: the sandboxed router needs root and namespaces (unshare); run it as root"
  exit 1
fi
export RT_BINARY_DIR=${RT_BINARY_DIR:-$repo/build}
bin=$RT_BINARY_DIR/bin
for p in uplinkd ontsim provgen uci; do
  [ -x "$bin/$p" ] || { echo "demo: $bin/$p is not built (scripts/demo builds everything)"; exit 1; }
done

failed=0
step() { printf '\n== %s\n' "$*"; }
fail() { echo "demo: FAILED: $*"; failed=1; }
expect() {  # expect WHAT NEEDLE HAYSTACK
  case "$3" in *"$2"*) echo "   ok: $1" ;; *) fail "$1 (no '$2')" ;; esac
}

state=$(mktemp -d "${TMPDIR:-/tmp}/rt-demo.XXXXXX")
step "bringing the sandboxed router up in $state"
sb_up "$state" || { echo "demo: the sandbox did not come up"; exit 1; }
pid=$(sb_spawn "$state/uplinkd.log" "$bin/uplinkd") || { echo "demo: uplinkd did not start"; exit 1; }
for _ in $(seq 50); do grep -q 'lldp started' "$state/uplinkd.log" 2>/dev/null && break; sleep 0.1; done

packages="wireless easycwmp stun mqtt_kpsm"
uci_snapshot() { for p in $packages; do sb_exec env RT_SANDBOX_NOLOG=1 uci show "$p"; done; }

step "the WAN connection before (ubus call syswan get '{\"wanId\": 1}')"
sb_exec env RT_SANDBOX_NOLOG=1 ubus call syswan get '{"wanId": 1}' | tee "$state/wan.before"
uci_snapshot >"$state/uci.before"

step "the ONT authenticates on eth3 (challenge and response over the shared key)"
ok=
for _ in $(seq 10); do
  if sb_exec "$bin/ontsim" -i p-eth3 -t 1000 auth >"$state/auth.out" 2>&1; then ok=1; break; fi
  sleep 0.3
done
cat "$state/auth.out"
[ -n "$ok" ] && grep -q 'auth: ok' "$state/auth.out" || { fail "authentication"; }
sleep 0.5

step "the operator's profile ($profile)"
grep -v '^#' "$profile" | grep -v '^$'
mapfile -t msgs < <("$bin/provgen" "$profile") || fail "provgen"
echo "   -> ${#msgs[@]} $kind deliveries"

step "the ONT delivers it"
from=$(wc -l <"$state/calls.log")
for ((i = 0; i < ${#msgs[@]}; i += 25)); do
  args=()
  for m in "${msgs[@]:i:25}"; do args+=("$kind" "$m"); done
  sb_exec "$bin/ontsim" -i p-eth3 -t 10 "${args[@]}" >/dev/null || fail "ontsim delivery"
done
start=$(date +%s.%N)
echo "   delivered; the agent waits until the ONT has been quiet for 5 s"

step "waiting for the apply pass"
if sb_wait_for_call /etc/init.d/mqtt_kpsm reload 15000; then
  end=$(date +%s.%N)
  sleep 1
  printf '   applied %s s after the deliveries\n' "$(/usr/bin/python3 -c "print(round($end - $start, 1))")"
else
  fail "no apply pass within 15 s"
fi

step "what the agent ran (the call log since the deliveries)"
tail -n +"$((from + 1))" "$state/calls.log" >"$state/calls.apply"
/usr/bin/python3 "$here/lib/calllog.py" "$state/calls.apply" show | tee "$state/calls.shown"
shown=$(cat "$state/calls.shown")
expect "one WAN change through the WAN service" "syswan modify" "$shown"
expect "wireless committed and reloaded" "wifi reload" "$shown"
expect "TR-069 client reloaded" "easycwmpd reload" "$shown"
expect "STUN client reloaded" "stun-client reload" "$shown"
expect "cloud agent reloaded" "mqtt_kpsm reload" "$shown"

step "the WAN connection after"
sb_exec env RT_SANDBOX_NOLOG=1 ubus call syswan get '{"wanId": 1}' | tee "$state/wan.after"
diff -u "$state/wan.before" "$state/wan.after" | grep '^[-+] ' || true
after=$(cat "$state/wan.after")
if [ "$kind" = omci ]; then
  expect "PPPoE on VLAN 100 with priority 5" '"vid": 100' "$after"
  expect "priority 5" '"prio": 5' "$after"
  expect "the PPPoE account" '"pppUser": "fibre-4711@operator.example"' "$after"
  expect "a password with quotes and \$(...) arrives intact" 'pa\"ss$(touch \/tmp\/pwned)\\w0rd' "$after"
else
  expect "PPPoE on VLAN 300 with priority 4" '"vid": 300' "$after"
  expect "the PPPoE account" '"pppUser": "epon-0815@operator.example"' "$after"
  expect "a password with quotes and \$(...) arrives intact" 'oam\"pw$(id)\\x' "$after"
fi
[ -e "$state/tmp/pwned" ] && fail "a provisioned text was executed"

step "UCI options that changed"
uci_snapshot >"$state/uci.after"
changes=$(diff "$state/uci.before" "$state/uci.after" | grep '^>' | sed 's/^> /   /')
echo "$changes"
if [ "$kind" = omci ]; then
  expect "5 GHz SSID" "wireless.default_radio1.ssid='Operator-5G'" "$changes"
  expect "2.4 GHz SSID" "wireless.default_radio0.ssid='Operator-2G'" "$changes"
  expect "5 GHz channel 149 (sent as index 9)" "wireless.radio1.channel='149'" "$changes"
  expect "ACS URL" "easycwmp.@acs[0].url='http://acs.operator.example:7547/cwmp'" "$changes"
else
  expect "5 GHz SSID" "wireless.default_radio1.ssid='Operator-EPON-5G'" "$changes"
  expect "group rekey interval (taken from OAM only)" "wpa_group_rekey='7200'" "$changes"
  expect "ACS URL" "easycwmp.@acs[0].url='http://acs.operator.example:7547/epon'" "$changes"
fi
expect "STUN server" "stun.@stun[0].serveraddress='stun.operator.example'" "$changes"
expect "MQTT broker" "mqtt_kpsm.mqtt_kpsm.addr='mqtt.operator.example'" "$changes"

step "the ONT asks for the status: eight records, decoded"
sb_exec "$bin/ontsim" -i p-eth3 -t 1500 status >"$state/status.out" || fail "status request"
/usr/bin/python3 - "$state/status.out" <<'PY' | tee "$state/status.decoded"
import struct, sys
recs = []
for line in open(sys.argv[1]):
    if line.startswith("status ") and " bytes " in line:
        sub = int(line.split()[1].rstrip(":"))
        recs.append((sub, bytes.fromhex(line.split(" bytes ")[1].strip())))
def text(b, off, n): return b[off:off + n].split(b"\0")[0].decode("utf-8", "replace")
def ip(v): return ".".join(str((v >> s) & 255) for s in (24, 16, 8, 0))
for sub, b in recs:
    if sub == 12:
        vlan, = struct.unpack_from(">H", b, 44); mtu, = struct.unpack_from(">H", b, 171)
        print(f"12 WAN     name={text(b, 2, 40)} vlan={vlan} priority={b[46]} ip_mode={b[48]} "
              f"(2=PPPoE) nat={b[47]} mtu={mtu} ppp_user={text(b, 53, 32)} ppp_password={text(b, 85, 32)} "
              f"ipv4={ip(struct.unpack_from('>I', b, 151)[0])}")
    elif sub in (13, 14) and len(b) == 10:
        print(f"{sub} radio   band={'2.4' if b[2] == 0 else '5'} GHz enable={b[3]} country={b[4]} "
              f"channel={b[5]}{' (index)' if b[2] else ''} mode={b[6]} power={b[7]} width={b[8]} mesh={b[9]}")
    elif sub in (13, 14):
        rekey, = struct.unpack_from(">I", b, 103)
        print(f"{sub} ssid    ssid={text(b, 3, 32)} enable={b[35]} hidden={b[36]} auth={b[37]} "
              f"cipher={b[38]} key={text(b, 39, 64)} rekey={rekey}")
    elif sub == 15:
        inform, = struct.unpack_from(">I", b, 2)
        print(f"15 TR-069  enable={b[0]} inform={b[1]} every {inform} s project={text(b, 7, 20)} "
              f"acs={text(b, 27, 128)} user={text(b, 155, 64)} password={text(b, 219, 64)} "
              f"conn_req={text(b, 285, 64)}/{text(b, 349, 64)}")
    elif sub == 16:
        port, = struct.unpack_from(">H", b, 129)
        print(f"16 STUN    enable={b[0]} server={text(b, 1, 128)}:{port} user={text(b, 131, 64)}")
    elif sub == 17:
        print(f"17 MQTT    connected={b[0]} enable={b[1]} server={text(b, 2, 64)} user={text(b, 66, 64)} "
              f"project={text(b, 194, 20)}")
print(f"{len(recs)} records")
PY
decoded=$(cat "$state/status.decoded")
expect "eight status records" "8 records" "$decoded"
if [ "$kind" = omci ]; then
  expect "the WAN record" "vlan=100 priority=5 ip_mode=2" "$decoded"
  expect "the 5 GHz channel as its index" "channel=9 (index)" "$decoded"
  expect "the 2.4 GHz SSID" "ssid=Operator-2G enable=1" "$decoded"
else
  expect "the WAN record" "vlan=300 priority=4 ip_mode=2" "$decoded"
  expect "the 5 GHz SSID" "ssid=Operator-EPON-5G enable=1" "$decoded"
fi
expect "the STUN record" "server=stun.operator.example:3478" "$decoded"

step "the same profile again: compared, nothing written"
from=$(wc -l <"$state/calls.log")
for ((i = 0; i < ${#msgs[@]}; i += 25)); do
  args=()
  for m in "${msgs[@]:i:25}"; do args+=("$kind" "$m"); done
  sb_exec "$bin/ontsim" -i p-eth3 -t 10 "${args[@]}" >/dev/null || fail "ontsim delivery"
done
sleep 7
again=$(tail -n +"$((from + 1))" "$state/calls.log")
if echo "$again" | grep -qE '"commit"|"modify"|"reload"'; then
  fail "identical provisioning wrote something"
  echo "$again"
else
  echo "   ok: only reads ($(echo "$again" | grep -c '"prog"') calls), no commit, no reload"
fi

step "taking it down"
kill "$pid" 2>/dev/null
sb_down || fail "sandbox down"
trap - EXIT
rm -rf "$state"
[ "$failed" -eq 0 ] && echo "demo: everything shown happened" || echo "demo: some steps failed"
exit "$failed"
