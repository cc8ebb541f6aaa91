#!/usr/bin/env bash
# The host against a simulator over UDP through a network that loses,
# duplicates and stalls packets (nftables rules on the loopback of a private
# network namespace). Run with --help for what it checks.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$here/../../build/bin
out=build/lossy
arguments=("$@")
cases=()
all_cases=(loss-1 loss-5 loss-20 duplicate blackhole)

usage() {
  cat <<EOF
Usage: $0 [--case NAME]... [--bin DIR] [--out DIR]

Runs mstar-host against mstar-sim over UDP, the simulator on 127.0.0.2 and
nftables rules between them, inside a private network namespace (made here
with unshare -n; root, nft and unshare needed). Cases (default: all):

  loss-N      N % of the data packets lost (N = 1, 5 or 20) from the start;
              once the device streams, N % of the commands and of their
              replies lost too, and a 3 s blackhole of the system's packets
              makes the host bring the device up again through that loss
  duplicate   every data packet twice, and 20 % of the commands and replies
              twice, with a 3 s blackhole as above
  blackhole   the system's packets to the host dropped for 3 s

Each case checks that the host keeps running until it is stopped and then
exits with 0 or 1; that every tracker pose it published is the pose of a data
packet the simulator sent (its recording, decoded by check_records.py), every
read from a single packet and later than the one before; that every reply
that did not come is reported ("Time out for waiting reply." and the
command's read failure) and every failed bring-up said so; and that the
device was brought up again after the blackhole (at 20 % loss, where a
bring-up rarely gets all its packets through, this is only reported).

  --case NAME  run this case (repeatable)
  --bin DIR    where mstar-host, mstar-sim and libmotionstar.so are
               (default: build/bin of this checkout)
  --out DIR    logs, records and recordings, one folder per case
               (default: build/lossy)
  -h, --help   this text

Exit status: 0 every case passed, 1 a case failed, 2 usage error, 77 skipped
(no network namespace or no nftables here).
EOF
}

while [ $# -gt 0 ]; do
  case $1 in
    --case) cases+=("${2:?--case needs a name}"); shift 2 ;;
    --bin) bin=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "$0: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
[ ${#cases[@]} -gt 0 ] || cases=("${all_cases[@]}")
for name in "${cases[@]}"; do
  case " ${all_cases[*]} " in *" $name "*) ;; *) echo "$0: no case $name (see --help)" >&2; exit 2 ;; esac
done
for program in mstar-host mstar-sim libmotionstar.so; do
  [ -e "$bin/$program" ] || { echo "$0: $bin/$program not found (build first, or --bin)" >&2; exit 2; }
done
bin=$(cd "$bin" && pwd)

source "$here/rules.sh"
enter_namespace "$0" "${arguments[@]}"

mkdir -p "$out"
out=$(cd "$out" && pwd)
sim_address=127.0.0.2
trackers=2

from="$(from_system $sim_address)"
to="$(to_system $sim_address)"

# Waits up to $2 seconds for a JSON line matching $1 in the host's records.
wait_for() {
  local until=$((SECONDS + $2))
  while [ $SECONDS -lt "$until" ]; do
    grep -q "$1" "$dir/host.jsonl" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

failures=()
fail() {
  echo "   FAILED: $1"
  failures+=("$case_name: $1")
}

run_case() {
  case_name=$1
  local percent=${case_name#loss-}
  dir=$out/$case_name
  rm -rf "$dir" && mkdir -p "$dir"
  cat >"$dir/lossy.conf" <<CONF
device lossy motionstar $trackers
protocol udp
motionstaraddress $sim_address
CONF
  echo "== $case_name"
  set_rules
  case $case_name in
    loss-*) lose "$from $data" "$percent" "data lost" ;;
    duplicate) twice "$from $data" 100 127.0.0.1 "data doubled" ;;
  esac

  "$bin/mstar-sim" --address "$sim_address" --protocol udp --trackers $trackers --rate 100 \
    --seed 7 --record "$dir/sim.pcap" >"$dir/sim.log" 2>&1 &
  local sim=$!
  sleep 0.3
  "$bin/mstar-host" --format jsonl --output "$dir/host.jsonl" "$dir/lossy.conf" \
    >/dev/null 2>"$dir/host.log" &
  local host=$!

  if ! wait_for '"state":"streaming"' 15; then
    fail "the device did not come up"
  else
    case $case_name in
      loss-*)
        lose "$to" "$percent" "commands lost"
        lose "$from $reply" "$percent" "replies lost" ;;
      duplicate)
        twice "$to" 20 "$sim_address" "commands doubled"
        twice "$from $reply" 20 127.0.0.1 "replies doubled" ;;
    esac
    sleep 4
    nft add element ip lossy blackhole "{ $sim_address timeout 3s }"
    local limit=60
    if wait_for '"reason":"recovered"' $limit; then
      sleep 3  # streaming again, through the same loss
    elif [ "$case_name" = loss-20 ]; then
      echo "   not brought up again within $limit s (every bring-up lost a packet)"
    else
      fail "not brought up again within $limit s of the blackhole"
    fi
  fi

  if kill -0 "$host" 2>/dev/null; then
    kill -TERM "$host"
    local waited=0
    while kill -0 "$host" 2>/dev/null && [ $waited -lt 60 ]; do sleep 1; waited=$((waited + 1)); done
    kill -0 "$host" 2>/dev/null && { fail "the host did not stop within 60 s of SIGTERM"; kill -KILL "$host"; }
    wait "$host"
    local status=$?
    [ $status -le 1 ] || fail "the host exited with status $status"
  else
    wait "$host"
    fail "the host ended by itself (status $?) before it was stopped"
  fi
  kill -TERM "$sim" && wait "$sim"
  echo "   rules: $(counters)"
  nft delete table ip lossy

  /usr/bin/python3 "$here/check_records.py" "$dir/sim.pcap" "$dir/host.jsonl" --device lossy \
    --address "$sim_address" --trackers $trackers || fail "published poses differ from the packets sent"
  # The check itself: each of three faults put into the records is found.
  if /usr/bin/python3 "$here/corrupt_records.py" "$dir/host.jsonl" "$dir/corrupt"; then
    for fault in pose mixed repeated; do
      /usr/bin/python3 "$here/check_records.py" "$dir/sim.pcap" "$dir/corrupt-$fault.jsonl" \
        --device lossy --address "$sim_address" --trackers $trackers >"$dir/corrupt-$fault.txt" &&
        fail "a $fault record put in the records was not found"
    done
  else
    fail "too few records to show that the check finds faults"
  fi
  sed -n 's/^mstar-host: lossy: \([0-9]* packets\).*\(, [0-9]* dropouts*, [0-9]* recover[a-z]*\).*/   host: \1 read\2/p' "$dir/host.log"
  check_messages "$dir/host.log"
}

# Every reply that did not come is reported as the driver reports it (its
# lines keep their order); a device being stopped is not taken for lost
# (its stop may wait on a reply that never comes); every failed bring-up
# has an ERROR line of the driver that says why. The driver's lines reach
# standard error through a pipe of their own, so they may come just after
# the host's line about the same attempt: they are counted, not placed.
check_messages() {
  awk '
    / lossy\[[0-9]*\]: / { driver = 1 } !/ lossy\[[0-9]*\]: / { driver = 0 }
    driver && expect_read_failure {
      if ($0 !~ /ERROR: CMotionStar: (Getting ACK for [A-Z_]* command failed|Getting SETUP data failed)\./)
        { print "   FAILED: a time-out not followed by its read failure: " $0; bad = 1 }
      expect_read_failure = 0
    }
    /WARNING: CMotionStar: Time out for waiting reply\./ { timeouts++; expect_read_failure = 1 }
    driver && /ERROR: / { errors++ }
    /recovery attempt [0-9]* failed at / { attempts++ }
    /recovery attempt [0-9]* failed at (init|configure|start);/ { said_why++ }
    / recovered: / { recovered++ }
    /^mstar-host: stopping the devices/ { stopping = 1 }
    stopping && /WARNING: device "lossy" lost/ {
      print "   FAILED: lost while it was being stopped: " $0; bad = 1
    }
    END {
      printf "   messages: %d replies timed out, %d failed bring-ups, %d recoveries\n", timeouts, attempts, recovered
      if (errors < said_why) {
        printf "   FAILED: %d bring-ups failed in the driver, which said why only %d times\n", said_why, errors
        bad = 1
      }
      exit bad
    }' "$1" || fail "messages"
  grep -o 'ERROR: CMotionStar: .*\|WARNING: CMotionStar: .*\|WARNING: device "lossy" lost\|recovery attempt [0-9]* failed at [a-z ]*\| recovered: ' "$1" |
    sed 's/attempt [0-9]*/attempt N/; s/^ recovered: /device "lossy" recovered/' | sort | uniq -c | sort -rn | sed 's/^ */     /'
}

for name in "${cases[@]}"; do run_case "$name"; done
if [ ${#failures[@]} -gt 0 ]; then
  echo "== failed:"
  printf '   %s\n' "${failures[@]}"
  exit 1
fi
echo "== every case passed: ${cases[*]}"
