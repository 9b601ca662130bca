#!/usr/bin/env bash
# The Windows runner under Wine plays a scripted session exactly as the Linux
# runner does: the same world dumps, byte for byte, and the same settings
# file at exit, its lines ending in CRLF as a new file's do on Windows.
# Catches what differs between the systems: the size of long, text-mode
# streams, paths.
# Usage: windows_matches_linux.sh WINDOWS_TAVRO_SIM LINUX_TAVRO_SIM
set -euo pipefail
windows_sim=$1
linux_sim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A game with a click every few frames across the field, a move or two, a
# rapid-fire toggle, and the exit confirmed at the end.
awk 'BEGIN {
  print "10 start"
  for (f = 20; f < 6000; f += 7) printf "%d click %d %d\n", f, (f * 37) % 512, 60 + (f * 53) % 380
  print "3000 rapid"
  print "3001 move 100 100"
  print "3002 move 300 200"
  print "6000 exit"
}' > "$work/session.txt"

for system in linux windows; do
  if [ $system = linux ]; then sim=$linux_sim; else sim="wine $windows_sim"; fi
  $sim --script "$work/session.txt" --frames 6001 --dump-every 250 \
    --ini "$work/$system.ini" > "$work/$system.json"
done
cmp "$work/linux.json" "$work/windows.json"
# A new settings file takes the system's line ends: CRLF on Windows.
sed 's/$/\r/' "$work/linux.ini" | cmp - "$work/windows.ini"
echo "same dumps ($(wc -l < "$work/linux.json") lines) and settings file (in CRLF lines)"
