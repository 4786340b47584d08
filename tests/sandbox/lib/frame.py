#!/usr/bin/python3
"""Raw Ethernet frames on a port of the sandbox, for shell scripts (run it
inside the sandbox):
  frame.py send IFNAME HEX            send one frame (hex, blanks allowed)
  frame.py recv IFNAME TIMEOUT_MS [ETHERTYPE]
                                      print the first frame received as hex;
                                      exit 1 when none came in time
ETHERTYPE defaults to 0x88cc (LLDP); "all" takes every frame."""
import select
import socket
import sys
import time

ETH_P_ALL = 0x0003


def main():
    if len(sys.argv) < 4 or sys.argv[1] not in ("send", "recv"):
        sys.stderr.write(__doc__)
        return 2
    ifname = sys.argv[2]
    if sys.argv[1] == "send":
        frame = bytes.fromhex("".join(sys.argv[3].split()))
        s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, 0)
        s.bind((ifname, 0))
        return 0 if s.send(frame) == len(frame) else 1
    timeout = int(sys.argv[3]) / 1000.0
    etype = sys.argv[4] if len(sys.argv) > 4 else "0x88cc"
    proto = ETH_P_ALL if etype == "all" else int(etype, 0)
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(proto))
    s.bind((ifname, 0))
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([s], [], [], left)[0]:
            return 1
        data, addr = s.recvfrom(65536)
        if addr[2] == socket.PACKET_OUTGOING:
            continue
        print(data.hex())
        return 0


if __name__ == "__main__":
    sys.exit(main())
