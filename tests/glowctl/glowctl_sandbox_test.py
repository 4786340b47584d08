#!/usr/bin/env python3
"""glowctl end to end: the real daemon in the sandboxed router, with the LED
class played by ledfs, driven as a router user would drive it (state files,
UCI, "ubus call ..."). Needs root; exits 77 (skipped) without it or without
the sandbox launcher."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
SRC = os.environ.get("RT_SOURCE_DIR") or os.path.normpath(os.path.join(HERE, "..", ".."))
BIN = os.environ.get("RT_BINARY_DIR") or os.path.join(SRC, "build")
LAUNCHER = os.path.join(SRC, "tests", "sandbox", "sandbox")
SKIP = 77

sys.path.insert(0, os.path.join(SRC, "tests", "sandbox", "lib"))
import calllog  # noqa: E402

ALL_LEDS = ["led_internet", "led_pon", "led_los", "led_power", "led_wifi1", "led_wifi2",
            "led_lan", "led_lan2", "led_lan3", "led_lan4"]


def wait_for(pred, timeout=20.0, what="condition"):
    end = time.monotonic() + timeout
    while True:
        got = pred()
        if got:
            return got
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


class Router:
    """One sandbox with one board, ledfs on /sys/class/leds and glowctl."""

    def __init__(self, board, leds, netdev="mode", config=None, fix=None, env=None):
        self.board, self.leds, self.netdev = board, leds, netdev
        self.config, self.fix, self.env = config or {}, fix or {}, env or {}
        self.work = tempfile.mkdtemp(prefix="glowsb")
        self.state = os.path.join(self.work, "state")

    # -- life cycle
    def up(self, start_daemon=True):
        fixture = os.path.join(self.work, "fixture")
        for name, text in self.config.items():
            self._write(os.path.join(fixture, "config", name), text)
        for name, text in self.fix.items():
            self._write(os.path.join(fixture, "fix", name), text)
        os.makedirs(fixture, exist_ok=True)
        subprocess.run([LAUNCHER, "up", self.state, "--fixture", fixture], check=True,
                       env=dict(os.environ, RT_BINARY_DIR=BIN, RT_SANDBOX_OWNER=str(os.getpid())))
        self.exec(["sh", os.path.join(HERE, "board-setup.sh"), self.board], check=True)
        args = [os.path.join(BIN, "bin", "ledfs"), "--log", "/var/run/.sandbox/glow/ledfs.log",
                "--netdev", self.netdev]
        for led in self.leds:
            args += ["--led", led]
        self.spawn("ledfs.out", args + ["/sys/class/leds"])
        if self.leds:
            wait_for(lambda: self.exec(["test", "-e", "/sys/class/leds/" + self.leds[0] + "/trigger"]).returncode == 0,
                     what="ledfs")
        if start_daemon:
            self.start_daemon()
        return self

    def start_daemon(self):
        env = ["env"] + ["%s=%s" % kv for kv in self.env.items()]
        self.spawn("glowctl.out", env + [os.path.join(BIN, "bin", "glowctl")])

    def down(self):
        subprocess.run([LAUNCHER, "down", self.state], check=False)
        shutil.rmtree(self.work, ignore_errors=True)

    # -- driving it
    def exec(self, argv, check=False, input_text=None):
        return subprocess.run([LAUNCHER, "exec", self.state] + argv, capture_output=True, text=True,
                              check=check, input=input_text)

    def spawn(self, log, argv):
        subprocess.run([LAUNCHER, "spawn", self.state, os.path.join(self.work, log)] + argv, check=True,
                       capture_output=True)

    def ubus(self, obj, method, args=None):
        argv = ["ubus", "call", obj, method] + ([json.dumps(args)] if args is not None else [])
        r = self.exec(argv)
        return r.returncode, r.stdout, r.stderr

    def ubus_json(self, obj, method):
        rc, out, err = self.ubus(obj, method)
        if rc != 0:
            raise AssertionError("ubus call %s %s: %d %s" % (obj, method, rc, err))
        return json.loads(out.replace("\\/", "/"))

    def write(self, rel, text):
        path = os.path.join(self.state, rel)
        tmp = path + ".new"
        with open(tmp, "w") as f:
            f.write(text)
        os.replace(tmp, path)

    def read(self, rel):
        try:
            with open(os.path.join(self.state, rel)) as f:
                return f.read()
        except FileNotFoundError:
            return None

    def uci(self, key):
        r = self.exec(["env", "RT_SANDBOX_NOLOG=1", "uci", "-q", "get", key])
        return r.stdout.strip() if r.returncode == 0 else None

    def calls(self, prog=None):
        return [rec for rec in calllog.calls(os.path.join(self.state, "calls.log"))
                if prog is None or os.path.basename(rec["prog"]) == prog]

    def commands(self, prog):
        return [" ".join(c["argv"][1:]) for c in self.calls(prog)]

    def syslog(self):
        return self.read("syslog.log") or ""

    def led_writes(self):
        """[(t, led, node, value)] as ledfs recorded them."""
        out = []
        for line in (self.read("glow/ledfs.log") or "").splitlines():
            t, where, value = line.split(" ", 2)
            led, node = where.split("/", 1)
            out.append((float(t), led, node, value))
        return out

    def led_node(self, led, node):
        r = self.exec(["cat", "/sys/class/leds/%s/%s" % (led, node)])
        return r.stdout.strip() if r.returncode == 0 else None

    @staticmethod
    def _write(path, text):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)


EASYMESH_OFF = "config easymesh 'easymesh_default'\n\toption mesh_switch '0'\n\toption mesh_mode '0'\n"


def glowctl_config(**opts):
    base = {"enabled": "0", "schedule": "0", "start": "22:00", "end": "7:00", "all_leds_off_enable": "0"}
    base.update(opts)
    return "config night_mode 'night_mode'\n" + "".join(
        "\toption %s '%s'\n" % kv for kv in base.items())


class Rt8100ac(unittest.TestCase):
    """Status LED, dimming and night mode on a board with an internet LED."""

    @classmethod
    def setUpClass(cls):
        cls.r = Router("rt8100ac", ["led_internet", "led_power", "led_pon", "led_los", "led_lan"],
                       config={"glowctl": glowctl_config(), "easymesh": EASYMESH_OFF}).up()
        wait_for(lambda: "night_mode: ubus service started" in cls.r.syslog(), what="ubus service")

    @classmethod
    def tearDownClass(cls):
        cls.r.down()

    def test_1_startup_and_status_changes(self):
        r = self.r
        wait_for(lambda: r.uci("system.led_internet.trigger") == "timer", what="start-up blink")
        self.assertEqual(r.uci("system.led_internet.delayon"), "1000")
        self.assertIn("restart", r.commands("led"))
        self.assertIn("commit system", r.commands("uci"))
        dim = r.ubus_json("glowctl", "get_dim")
        self.assertEqual((dim["on_ns"], dim["off_ns"], dim["level"]), (2176376, 7823624, "custom"))

        r.write("tmp/wan_status", "1\n")
        wait_for(lambda: r.uci("system.led_internet.trigger") == "default-on", what="WAN up")
        self.assertEqual(r.uci("system.led_power.trigger"), "default-on")

        # Steady: no further LED writes through UCI.
        n = len(r.commands("uci"))
        time.sleep(2.5)
        self.assertEqual(len(r.commands("uci")), n)

        r.write("tmp/factory_reset", "1\n")
        wait_for(lambda: r.uci("system.led_internet.trigger") == "none", what="factory reset")
        self.assertEqual(r.uci("system.led_internet.default"), "0")
        self.assertEqual(r.uci("system.led_power.trigger"), "none")
        r.write("tmp/factory_reset", "0\n")
        wait_for(lambda: r.uci("system.led_internet.trigger") == "default-on", what="reset over")

    def test_2_set_dim_status_codes(self):
        r = self.r
        cases = [
            ({"level": 55}, 2), ({"level": "50"}, 2), ({"on_ns": 100000}, 2),
            ({"on_ns": 1, "off_ns": 1}, 2), ({"on_ns": 100000, "off_ns": 0}, 2), (None, 2),
        ]
        for args, status in cases:
            rc, _, err = r.ubus("glowctl", "set_dim", args)
            self.assertEqual(rc, status, args)
            self.assertIn("Command failed: Invalid argument", err)
        rc, _, err = r.ubus("glowctl", "no_such_method", {})
        self.assertEqual(rc, 3)

    def test_3_force_modes_and_dimming_on_the_wire(self):
        r = self.r
        self.assertEqual(r.ubus("glowctl", "set_dim", {"level": 100})[0], 0)
        dim = r.ubus_json("glowctl", "get_dim")
        self.assertEqual((dim["mode"], dim["level"], dim["running_leds"]), ("force_on", 100, 5))
        for led in r.leds:
            self.assertEqual(r.led_node(led, "brightness"), "255", led)
            self.assertIn("[none]", r.led_node(led, "trigger"))

        # Dimming at the level 50 row: each LED alternates 255 and 0, about
        # 200 writes a second, and stops when detached.
        self.assertEqual(r.ubus("glowctl", "set_dim", {"level": 50})[0], 0)
        time.sleep(0.3)
        t0 = time.monotonic()
        time.sleep(1.0)
        t1 = time.monotonic()
        writes = [w for w in r.led_writes() if w[2] == "brightness" and t0 <= w[0] < t1]
        per_led = {}
        for _, led, _, value in writes:
            per_led.setdefault(led, []).append(value)
        self.assertEqual(sorted(per_led), sorted(r.leds))
        for led, values in per_led.items():
            self.assertGreater(len(values), 50, led)
            self.assertLessEqual(len(values), 205, led)
            self.assertTrue(all(a != b for a, b in zip(values, values[1:])), led + ": phase repeated")
        self.assertEqual(r.ubus_json("glowctl", "get_dim")["level"], 50)

        # Back to off: every LED off, no more toggling.
        self.assertEqual(r.ubus("glowctl", "set_dim", {"level": 0, "on_ns": 1000})[0], 0)
        time.sleep(0.3)
        n = len(r.led_writes())
        time.sleep(0.5)
        self.assertEqual(len(r.led_writes()), n, "writes while in force_off")
        for led in r.leds:
            self.assertEqual(r.led_node(led, "brightness"), "0", led)
        self.assertEqual(r.ubus("glowctl", "set_dim", {"level": 30})[0], 0)

    def test_4_night_mode_methods(self):
        r = self.r
        rc, _, err = r.ubus("night_mode", "set_night_mode", {"start": "6:00"})
        self.assertEqual(rc, 2)
        rc, _, err = r.ubus("night_mode", "set_night_mode", {"start": "7:05; reboot", "end": "8:00"})
        self.assertEqual(rc, 9)
        self.assertIn("Command failed: Unknown error", err)
        self.assertEqual(r.uci("glowctl.night_mode.start"), "22:00")

        commits = r.commands("uci").count("commit glowctl")
        self.assertEqual(r.ubus("night_mode", "set_night_mode", {"enabled": 0})[0], 0)
        self.assertEqual(r.commands("uci").count("commit glowctl"), commits, "no change, no commit")

        self.assertEqual(r.ubus("night_mode", "set_night_mode", {"enabled": 1, "schedule": 0})[0], 0)
        self.assertEqual(r.uci("glowctl.night_mode.enabled"), "1")
        self.assertEqual(r.read("run/led_night_mode"), "1\n")
        got = r.ubus_json("night_mode", "get_night_mode")
        self.assertEqual((got["enabled"], got["schedule"], got["active"], got["should_run"]), (1, 0, 1, 1))
        self.assertEqual((got["start"], got["end"]), ("22:00", "07:00"))
        # The LEDs lit by their drivers are taken under dimming within a second.
        wait_for(lambda: "night_mode: dimming led_internet for WAN up" in r.syslog(), what="night dimming")
        wait_for(lambda: r.ubus_json("glowctl", "get_dim")["running_leds"] >= 2, what="attached LEDs")

        self.assertEqual(r.ubus("night_mode", "set_night_mode", {"start": "21:00", "end": "7:5"})[0], 0)
        self.assertEqual(r.uci("glowctl.night_mode.end"), "7:5")
        wait_for(lambda: "restart" in r.commands("/etc/init.d/glowctl") + r.commands("glowctl"),
                 what="restart of the daemon")

    def test_5_all_leds_off(self):
        r = self.r
        r.write("config/glowctl", glowctl_config(all_leds_off_enable="1"))
        wait_for(lambda: "all_leds_off: enter persistent force off" in r.syslog(), what="all off")
        wait_for(lambda: r.ubus_json("glowctl", "get_dim")["mode"] == "force_off", what="force_off")
        for led in r.leds:
            self.assertEqual(r.led_node(led, "brightness"), "0", led)
        n = r.commands("uci").count("commit system")
        r.write("config/glowctl", glowctl_config())
        wait_for(lambda: "all_leds_off: exit persistent force off" in r.syslog(), what="all off left")
        wait_for(lambda: r.commands("uci").count("commit system") > n, what="pattern written again")
        self.assertEqual(r.ubus_json("glowctl", "get_dim")["mode"], "pwm")

    def test_6_mesh_and_slave_wps(self):
        r = self.r
        r.write("config/easymesh", "config easymesh 'easymesh_default'\n\toption mesh_switch '1'\n"
                "\toption mesh_mode '1'\n")
        r.write("tmp/mesh_status", "disconnect\n")
        wait_for(lambda: r.uci("system.led_internet.delayon") == "1000", what="mesh slow blink")
        r.write("tmp/mesh_slave_wps_status", "WPS-PBC-ACTIVE\n")
        wait_for(lambda: r.uci("system.led_internet.delayon") == "50", what="WPS fast blink")
        self.assertIn("WPS timer started successfully", r.syslog())
        r.write("tmp/mesh_status", "connected\n")
        wait_for(lambda: r.uci("system.led_internet.trigger") == "default-on", what="mesh connected")
        r.write("tmp/mesh_slave_wps_status", "WPS-FAIL\n")
        wait_for(lambda: "WPS timer stop requested" in r.syslog(), what="WPS stop")


class Rt2200ach(unittest.TestCase):
    """Netdev triggers on the LAN LEDs and WPS blinking of the Wi-Fi LEDs."""

    def test_netdev_at_startup_and_wps_blink(self):
        r = Router("rt2200ach", ["led_lan", "led_lan2", "led_lan3", "led_lan4", "led_wifi1", "led_wifi2"],
                   netdev="flags",
                   config={"custom": "config custom 'custom_page'\n\toption wps_wifi_led_blink '1'\n"},
                   fix={"out/hostapd_cli.-i.default_radio1.wps_get_status": "PBC Status: Disabled\n"})
        try:
            r.up()
            wait_for(lambda: "led_lan4: configured netdev trigger (if=eth3 mode=link tx rx)" in r.syslog(),
                     what="netdev set-up")
            self.assertIn("[netdev]", r.led_node("led_lan2", "trigger"))
            self.assertEqual(r.led_node("led_lan2", "device_name"), "eth1")
            for flag in ("link", "tx", "rx"):
                self.assertEqual(r.led_node("led_lan3", flag), "1", flag)
            self.assertEqual(r.led_node("led_lan3", "interval"), "50")
            self.assertNotIn("commit system", r.commands("uci"), "no status LED on this board")

            r.write("fix/out/hostapd_cli.-i.default_radio1.wps_get_status", "PBC Status: Active\n")
            wait_for(lambda: r.uci("system.wps_wifi_blink_led_wifi1.trigger") == "timer", what="WPS blink")
            self.assertEqual(r.uci("system.wps_wifi_blink_led_wifi2.sysfs"), "led_wifi2")
            r.write("fix/out/hostapd_cli.-i.default_radio1.wps_get_status", "PBC Status: Disabled\n")
            wait_for(lambda: r.uci("system.wps_wifi_blink_led_wifi1.trigger") is None, what="WPS blink off")
        finally:
            r.down()

    def test_kernel_without_netdev_mode_controls(self):
        r = Router("rt2200ach", ["led_lan"], netdev="none")
        try:
            r.up()
            wait_for(lambda: "led_lan: no usable netdev mode controls for 'link tx rx'" in r.syslog(),
                     what="netdev failure")
            self.assertEqual(r.led_node("led_lan", "device_name"), "eth0")
            self.assertIn("failed to set led_lan netdev trigger (if=eth0)", r.syslog())
        finally:
            r.down()


class NightWindow(unittest.TestCase):
    """The schedule against the daemon's real local time (TZ puts it at 23:xx)."""

    def test_window_open_at_start_stops_the_lan_monitor(self):
        utc = time.gmtime()
        offset = (23 - utc.tm_hour) % 24
        offset = offset - 24 if offset > 12 else offset
        tz = "GLW%+d" % -offset  # POSIX offsets count west of Greenwich
        r = Router("rt8110_4g_h2", ["led_internet", "led_power", "led_lan"],
                   config={"glowctl": glowctl_config(enabled="1", schedule="1")}, env={"TZ": tz})
        try:
            r.up()
            wait_for(lambda: r.read("run/led_night_mode") == "1\n", what="night mode active")
            got = r.ubus_json("night_mode", "get_night_mode")
            self.assertEqual((got["active"], got["should_run"]), (1, 1))
            self.assertIn(got["minutes_local"] // 60, (23, 0))
            self.assertIn("led_block startup: stop monitor_lan_led in scheduled night/all-off state", r.syslog())
            wait_for(lambda: "led_block edge: run 'monitor_lan_led stop', night=1 all_leds_off=0" in r.syslog(),
                     what="edge")
            self.assertGreaterEqual(r.commands("monitor_lan_led").count("stop"), 2)
            self.assertNotIn("start", r.commands("monitor_lan_led"))

            # Closing the window by hand: the daemon hands the LAN LED back.
            self.assertEqual(r.ubus("night_mode", "set_night_mode", {"enabled": 0})[0], 0)
            self.assertEqual(r.read("run/led_night_mode"), "0\n")
            wait_for(lambda: "start" in r.commands("monitor_lan_led"), what="monitor restarted")
        finally:
            r.down()


class UnknownBoard(unittest.TestCase):
    def test_offers_no_objects_and_touches_no_led(self):
        r = Router("rt9999", ["led_internet", "led_power"])
        try:
            r.up()
            time.sleep(2.5)
            rc, _, err = r.ubus("glowctl", "get_dim")
            self.assertEqual(rc, 4)
            self.assertIn("Command failed: Not found", err)
            self.assertEqual(r.ubus("night_mode", "get_night_mode")[0], 4)
            self.assertEqual(r.led_writes(), [])
            self.assertNotIn("commit system", r.commands("uci"))
        finally:
            r.down()


def main():
    if os.geteuid() != 0:
        print("glowctl sandbox test: needs root (namespaces); skipped")
        return SKIP
    for need in (LAUNCHER, os.path.join(BIN, "bin", "glowctl"), os.path.join(BIN, "bin", "ledfs")):
        if not os.path.exists(need):
            print("glowctl sandbox test: %s is missing; skipped" % need)
            return SKIP
    prog = unittest.main(exit=False, verbosity=2)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
