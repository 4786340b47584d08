#!/bin/sh
# glowctl's part of the sandboxed router, run inside it (sandbox exec):
# the board identity under /sys/firmware and the network state under
# /sys/class/net, both kept in the state directory so tests can change them
# from outside, and an empty /sys/class/leds for the LED emulator.
#   board-setup.sh BOARD
set -eu
S=/var/run/.sandbox
board=$1
mkdir -p "$S/glow/firmware/devicetree/base" "$S/glow/class/leds" "$S/glow/class/net"
printf '%s\n' "$board" >"$S/glow/firmware/devicetree/base/board_name_alias"
for i in eth0 eth1 eth2 eth3 default_radio0 default_radio1; do
  mkdir -p "$S/glow/class/net/$i"
  echo 0 >"$S/glow/class/net/$i/carrier"
  echo down >"$S/glow/class/net/$i/operstate"
done
mount --bind "$S/glow/firmware" /sys/firmware
mount --bind "$S/glow/class" /sys/class
