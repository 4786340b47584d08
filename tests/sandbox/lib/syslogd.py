#!/usr/bin/python3
"""Syslog receiver of the sandbox: a datagram socket on /dev/log whose
messages are appended, one per line, to syslog.log as the C library sent
them ("<PRI>Mmm dd hh:mm:ss tag: text"). Newlines inside a message are
written as "\\n" so every message stays one line."""
import os
import socket
import sys


def main():
    sock_path, log_path = sys.argv[1], sys.argv[2]
    try:
        os.unlink(sock_path)
    except FileNotFoundError:
        pass
    s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    s.bind(sock_path)
    os.chmod(sock_path, 0o666)
    with open(log_path, "ab", buffering=0) as log:
        while True:
            data = s.recv(65536)
            text = data.rstrip(b"\0\n").replace(b"\n", b"\\n")
            log.write(text + b"\n")


if __name__ == "__main__":
    main()
