#!/bin/sh
# Runs what an install holds, as a user would:
#  - host-minimal, built against the installed package, against the installed
#    mstar-sim: it must publish poses;
#  - the installed mstar-host on an installed example file, and with the
#    calibration example library moving every x by 1000 feet; the host must
#    find the installed module by its short name, away from the build tree.
# Usage: run_installed.sh PREFIX EXAMPLES_DIR HOST_EXAMPLE CALIBRATION_LIBRARY [EMULATOR...]
set -eu
prefix=$1 examples=$2 host_example=$3 calibration=$4
shift 4  # what is left runs the programs: the emulator of a cross build, or nothing
scratch=$(mktemp -d)
sim=
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $1"
  shift
  for log in "$@"; do echo "--- $log"; cat "$log"; done
  exit 1
}

"$@" "$prefix/bin/mstar-sim" --protocol tcp >"$scratch/sim.log" 2>&1 &
sim=$!
tries=0
until grep -q "listening on TCP" "$scratch/sim.log"; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || fail "mstar-sim did not start" "$scratch/sim.log"
  sleep 0.1
done
"$@" "$host_example" 50 127.0.0.1 >"$scratch/example.log" 2>&1 ||
  fail "host-minimal against the installed mstar-sim" "$scratch/example.log" "$scratch/sim.log"
grep "poses published" "$scratch/example.log"
kill "$sim"
wait "$sim" || fail "mstar-sim did not stop cleanly" "$scratch/sim.log"
sim=

"$@" "$prefix/bin/mstar-host" --simulate --packets 10 -f csv "$examples/two-trackers-tcp.conf" \
  >"$scratch/plain.csv" 2>"$scratch/plain.err" ||
  fail "installed mstar-host on the installed example" "$scratch/plain.err"
grep -q ",tracker,2," "$scratch/plain.csv" || fail "no pose of tracker 2" "$scratch/plain.csv"

cat >"$scratch/calibrated.conf" <<CONF
device calibrated motionstar 2
protocol tcp
calibration $calibration 1000 0 0
CONF
"$@" "$prefix/bin/mstar-host" --simulate --packets 10 -f csv "$scratch/calibrated.conf" \
  >"$scratch/calibrated.csv" 2>"$scratch/calibrated.err" ||
  fail "installed mstar-host with the calibration example" "$scratch/calibrated.err"
# Every tracker x (column 6) is the simulator's, a few feet, plus 1000.
awk -F, '$4 == "tracker" { poses++; if ($6 < 900) moved = "no" }
         END { print poses " calibrated poses"; exit !(poses > 0 && moved != "no") }' \
  "$scratch/calibrated.csv" || fail "poses not moved by the calibration example" "$scratch/calibrated.csv"
