# Shell helpers for scripts that drive the sandboxed router (bash; source it).
#
#   sb_available                   root and namespaces usable (else skip)
#   sb_up STATE [--fixture DIR]... bring it up; takes it down when the script exits
#   sb_down                        take it down
#   sb_exec CMD [ARG]...           run inside, return the status
#   sb_spawn LOGFILE CMD [ARG]...  start inside in the background, print the PID
#   sb_path REL                    host path of a state file ("tmp/mesh_status")
#   sb_read REL / sb_write REL TEXT
#   sb_calls [PROG]                the call log, one call per line
#   sb_wait_for_call PROG SUBSTR TIMEOUT_MS
#   sb_uci_get PKG.SEC.OPT         print a UCI value (not logged as a call)
#   sb_send_frame PORT HEX         send a raw frame from the ONT side of PORT (p-PORT)
#   sb_recv_frame PORT TIMEOUT_MS [ETHERTYPE]
#                                  print the next frame arriving on p-PORT as hex
SB_HOME=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SB_LAUNCHER=$SB_HOME/sandbox
SB_STATE=${SB_STATE:-}

sb_available() {
  [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && unshare --mount --net true 2>/dev/null
}

sb_up() {
  SB_STATE=$(mkdir -p "$1" && cd "$1" && pwd) || return 1
  shift
  RT_SANDBOX_OWNER=$$ "$SB_LAUNCHER" up "$SB_STATE" "$@" || return 1
  trap sb_down EXIT
}

sb_down() {
  [ -n "$SB_STATE" ] || return 0
  "$SB_LAUNCHER" down "$SB_STATE"
}

sb_exec() { "$SB_LAUNCHER" exec "$SB_STATE" "$@"; }
sb_spawn() { "$SB_LAUNCHER" spawn "$SB_STATE" "$@"; }
sb_path() { printf '%s/%s\n' "$SB_STATE" "$1"; }
sb_read() { cat "$SB_STATE/$1"; }
sb_write() { printf '%s' "$2" >"$SB_STATE/$1"; }
sb_calls() { /usr/bin/python3 "$SB_HOME/lib/calllog.py" "$SB_STATE/calls.log" show "${1:-}"; }
sb_wait_for_call() { /usr/bin/python3 "$SB_HOME/lib/calllog.py" "$SB_STATE/calls.log" wait "$1" "$2" "$3"; }
sb_uci_get() { sb_exec env RT_SANDBOX_NOLOG=1 uci get "$1"; }
sb_send_frame() { sb_exec /usr/bin/python3 /var/run/.sandbox/lib/frame.py send "p-$1" "$2"; }
sb_recv_frame() { sb_exec /usr/bin/python3 /var/run/.sandbox/lib/frame.py recv "p-$1" "$2" "${3:-0x88cc}"; }
