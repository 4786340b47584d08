"""What every stand-in command of the sandboxed router shares: where the
sandbox state lives, the call log, fixture answers and forced exit statuses.

Inside the sandbox the state directory is always /var/run/.sandbox; the
environment variable RT_SANDBOX_STATE points elsewhere (used when a stand-in
is exercised on its own, outside any sandbox).
"""
import fcntl
import json
import os
import sys
import time

STATE = os.environ.get("RT_SANDBOX_STATE") or "/var/run/.sandbox"
PATH_DIR = os.path.join(STATE, "bin")

# Files kept under fix/ are looked up by the program's base name followed by
# up to this many of its arguments, most specific first.
MAX_KEY_ARGS = 3


def state_path(*parts):
    return os.path.join(STATE, *parts)


def called_name(argv0=None):
    """The name the program was called by: the bare name when it was found
    through the stand-in directory on PATH, else the path as given
    ("/sbin/wifi", "/etc/init.d/dnsmasq")."""
    a0 = argv0 if argv0 is not None else sys.argv[0]
    d = os.path.dirname(a0)
    if not d:
        return a0
    try:
        if os.path.samefile(d, PATH_DIR):
            return os.path.basename(a0)
    except OSError:
        pass
    return a0


def base_name(prog=None):
    return os.path.basename(prog if prog is not None else called_name())


def safe_key(part):
    # A key is one file name: keep it one path component.
    return part.replace("/", "_").replace("\0", "_")[:100] or "_"


def fixture_keys(base, args, depth=MAX_KEY_ARGS):
    """["prog.a1.a2.a3", "prog.a1.a2", "prog.a1", "prog"]."""
    args = [safe_key(a) for a in args[:depth]]
    return [".".join([base] + args[:n]) for n in range(len(args), -1, -1)]


def log_call(prog=None, argv=None, stdin=None):
    """Appends one JSON line to calls.log. argv[0] is the name as called."""
    if os.environ.get("RT_SANDBOX_NOLOG"):
        return
    prog = prog if prog is not None else called_name()
    args = list(argv if argv is not None else sys.argv[1:])
    rec = {"t": time.monotonic(), "prog": prog, "argv": [prog] + args, "stdin": stdin}
    line = json.dumps(rec, ensure_ascii=True) + "\n"
    fd = os.open(state_path("calls.log"), os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        os.write(fd, line.encode("ascii"))
    finally:
        os.close(fd)


def read_stdin():
    data = sys.stdin.buffer.read() if sys.stdin is not None else b""
    return data.decode("utf-8", "surrogateescape")


def exit_status(keys):
    """Forced exit status from fix/exit/<key>, first key found wins. The file
    holds one status or a sequence ("1 0"): each call consumes the first
    number, the last one stays. None when no file is there."""
    for key in keys:
        path = state_path("fix", "exit", key)
        try:
            fd = os.open(path, os.O_RDWR)
        except OSError:
            continue
        with os.fdopen(fd, "r+") as f:
            fcntl.flock(f, fcntl.LOCK_EX)
            words = f.read().split()
            if not words:
                return None
            if len(words) > 1:
                f.seek(0)
                f.truncate()
                f.write(" ".join(words[1:]) + "\n")
            try:
                return int(words[0]) & 0xFF
            except ValueError:
                sys.stderr.write("sandbox: bad exit fixture %s\n" % path)
                return 1
    return None


def fixture_file(kind, keys):
    """Path of fix/<kind>/<key> for the first key present, else None."""
    for key in keys:
        path = state_path("fix", kind, key)
        if os.path.isfile(path):
            return path
    return None


def write_out(data):
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogateescape")
    sys.stdout.buffer.write(data)
    sys.stdout.buffer.flush()


def binary_dir():
    """The project's build tree as seen inside the sandbox."""
    try:
        with open(state_path("binary_dir")) as f:
            return f.read().strip()
    except OSError:
        return os.environ.get("RT_BINARY_DIR", "")
