#!/usr/bin/env bash
# Two 32-tracker systems streaming for a long time through a faulty network,
# one of them losing power every two minutes. Run with --help.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arguments=("$@")
bin=$here/../../build/bin
out=build/long_run
minutes=30
cycle=2m
percent=1
window=5

usage() {
  cat <<EOF
Usage: $0 [--minutes M] [--bin DIR] [--out DIR]

Runs two simulated MotionStar systems of 32 trackers at 1000 packets per
second over UDP (127.0.0.2, device "alpha", and 127.0.0.3, device "beta"),
each read by an mstar-host of its own (32 trackers fill a host), in a
private network namespace where nftables loses $percent % of all packets
both ways (data, commands, replies). alpha's system loses power every
$cycle (3 s without power, then asleep until a WAKE_UP). Every minute, half
a minute off the power cycles, a stretch of $window s of what the systems
sent is captured on the loopback (dumpcap) and the hosts' records of that
stretch are checked against it (tests/lossy/check_records.py): the other
records are not kept.

At the end it reports crashes, wrong publications, the power cycles and the
hosts' recoveries, and each host's resident memory, open file descriptors
and threads at one minute and at the end (every minute in resources.txt).

  --minutes M  how long (default $minutes; a fraction is fine)
  --bin DIR    where mstar-host, mstar-sim and libmotionstar.so are
               (default: build/bin of this checkout)
  --out DIR    logs, captures and checks (default: build/long_run)
  -h, --help   this text

Needs root (unshare, nft), dumpcap (tshark's package) and /usr/bin/python3.
Exit status: 0 no crash, no wrong publication, every power cycle recovered;
1 otherwise; 2 usage error; 77 no namespace or nft here. SIGTERM (Ctrl-C in the foreground)
ends the run early and reports what it has.
EOF
}

while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=${2:?}; shift 2 ;;
    --bin) bin=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "$0: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60); if (s < 70) exit 1; print s }') ||
  { echo "$0: --minutes needs at least 70 s of run (the first figures are taken at 1 min)" >&2; exit 2; }
for program in mstar-host mstar-sim libmotionstar.so; do
  [ -e "$bin/$program" ] || { echo "$0: $bin/$program not found (build first, or --bin)" >&2; exit 2; }
done
command -v dumpcap >/dev/null || { echo "$0: dumpcap not found (apt-get install tshark)" >&2; exit 2; }
bin=$(cd "$bin" && pwd)

source "$here/../lossy/rules.sh"
enter_namespace "$0" "${arguments[@]}"

rm -rf "$out" && mkdir -p "$out"
out=$(cd "$out" && pwd)
devices=(alpha beta)
declare -A address=([alpha]=127.0.0.2 [beta]=127.0.0.3) port=([alpha]=9001 [beta]=9002)
declare -A sim host

set_rules

for device in "${devices[@]}"; do
  mkdir -p "$out/$device"
  faults=()
  [ "$device" = alpha ] && faults=(--power-cycle-every "$cycle")
  "$bin/mstar-sim" --address "${address[$device]}" --protocol udp --trackers 32 --rate 1000 \
    --seed "$([ "$device" = alpha ] && echo 11 || echo 12)" "${faults[@]}" \
    >"$out/$device/sim.log" 2>&1 &
  sim[$device]=$!
  printf 'device %s motionstar 32\nprotocol udp\nmotionstaraddress %s\nport %s\n' \
    "$device" "${address[$device]}" "${port[$device]}" >"$out/$device/host.conf"
done
sleep 0.3
for device in "${devices[@]}"; do
  # The host's pid through a file: it runs in a pipeline.
  ( "$bin/mstar-host" --format jsonl "$out/$device/host.conf" 2>"$out/$device/host.log" &
    echo $! >"$out/$device/host.pid"; wait $! ) |
    /usr/bin/python3 "$here/split_records.py" "$out/$device/status.jsonl" "$out/$device" &
  host[$device]=$!
done
sleep 0.5
declare -A pid
for device in "${devices[@]}"; do pid[$device]=$(cat "$out/$device/host.pid"); done
# A host gives up when its device does not come up at start (a service
# manager would start it again): the faults begin once both stream.
for device in "${devices[@]}"; do
  until grep -q '"state":"streaming"' "$out/$device/status.jsonl" 2>/dev/null; do
    kill -0 "${pid[$device]}" 2>/dev/null || { echo "$0: $device did not come up:" >&2; cat "$out/$device/host.log" >&2; exit 1; }
    sleep 0.2
  done
done
for device in "${devices[@]}"; do
  lose "$(from_system "${address[$device]}")" "$percent" "$device: from the system"
  lose "$(to_system "${address[$device]}")" "$percent" "$device: to the system"
done

# name: resident memory (kB), descriptors, threads
resources() {
  local device=$1 p=${pid[$1]}
  [ -d "/proc/$p" ] || { echo "$device: gone"; return; }
  echo "$device: $(awk '/^VmRSS/ { print $2 }' "/proc/$p/status") kB resident," \
    "$(ls "/proc/$p/fd" | wc -l) descriptors, $(awk '/^Threads/ { print $2 }' "/proc/$p/status") threads"
}

stopping=0
trap 'stopping=1' INT TERM
started=$SECONDS
minute=0   # resources taken at every minute
stretch=0  # stretches captured half a minute later, away from the power cycles
checks=()
echo "== $minutes min: two systems of 32 trackers at 1000 packets/s, $percent % of packets lost," \
  "alpha's power off every $cycle; logs in $out"
while [ $stopping = 0 ] && [ $((SECONDS - started)) -lt "$seconds" ]; do
  sleep 1
  for device in "${devices[@]}"; do kill -0 "${pid[$device]}" 2>/dev/null || stopping=1; done
  if [ $((SECONDS - started)) -ge $(((minute + 1) * 60)) ]; then
    minute=$((minute + 1))
    for device in "${devices[@]}"; do echo "$minute min $(resources "$device")"; done >>"$out/resources.txt"
    [ $minute = 1 ] && cp "$out/resources.txt" "$out/resources-1min.txt"
  fi
  [ $((SECONDS - started)) -ge $((stretch * 60 + 30)) ] || continue
  stretch=$((stretch + 1))
  # A stretch of the stream, captured and checked while the run goes on.
  for device in "${devices[@]}"; do
    : >"$out/$device/$stretch.jsonl"  # a stretch without data (a power cycle) stays empty
    echo "$stretch" >"$out/$device/open"
  done
  dumpcap -q -i lo -P -f 'udp src port 5000' -a "duration:$window" -w "$out/window-$stretch.pcap" \
    2>>"$out/dumpcap.log"
  for device in "${devices[@]}"; do rm -f "$out/$device/open"; done
  sleep 1  # the last records of the stretch
  for device in "${devices[@]}"; do
    nice /usr/bin/python3 "$here/../lossy/check_records.py" "$out/window-$stretch.pcap" \
      "$out/$device/$stretch.jsonl" --device "$device" --address "${address[$device]}" \
      --trackers 32 --within-capture 0.5 --allow-empty >"$out/$device/check-$stretch.txt" 2>&1 &
    checks+=($!)
  done
done

running=()
for device in "${devices[@]}"; do kill -0 "${pid[$device]}" 2>/dev/null && running+=("$device"); done
end_resources=$(for device in "${devices[@]}"; do resources "$device"; done)
wrong=0
for check in "${checks[@]}"; do wait "$check" || wrong=$((wrong + 1)); done
counted=$(counters)
for device in "${devices[@]}"; do kill -TERM "${pid[$device]}" 2>/dev/null; done
for device in "${devices[@]}"; do
  wait "${host[$device]}"
  kill -TERM "${sim[$device]}" && wait "${sim[$device]}"
done
nft delete table ip lossy

echo "== after $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
failed=0
echo "crashes: $((${#devices[@]} - ${#running[@]})) of ${#devices[@]} hosts ended before they were stopped"
[ ${#running[@]} = ${#devices[@]} ] || failed=1
echo "wrong publications: $wrong of ${#checks[@]} checked stretches had a mismatch"
sed -n 's/.*: \([0-9]*\) data packets sent, \([0-9]*\) tracker records in \([0-9]*\) reads checked, \([0-9]*\) mismatches.*/\1 \2 \3 \4/p' \
  "$out"/*/check-*.txt | awk '{ sent += $1; records += $2; reads += $3; bad += $4 }
  END { printf "   %d tracker records in %d reads checked against %d packets captured, %d mismatches\n", records, reads, sent, bad }'
grep -h MISMATCH "$out"/*/check-*.txt | head -5
[ "$wrong" = 0 ] || failed=1
cycles=$(grep -c 'power off' "$out/alpha/sim.log")
echo "power cycles of alpha: $cycles"
for device in "${devices[@]}"; do
  summary=$(sed -n "s/^mstar-host: $device: //p" "$out/$device/host.log")
  echo "   $device: ${summary:-no summary (see $out/$device/host.log)}"
  echo "   $device: $(grep -c 'recovery attempt' "$out/$device/host.log") failed bring-ups," \
    "$(grep -c ' recovered: ' "$out/$device/host.log") recoveries"
done
lost=$(grep -c '"state":"lost"' "$out/alpha/status.jsonl")
recovered=$(grep -c '"reason":"recovered"' "$out/alpha/status.jsonl")
echo "   alpha: lost $lost times, recovered $recovered times"
# A power cycle in the last seconds may still be under way.
last_state=$(tail -n 1 "$out/alpha/status.jsonl" | sed -n 's/.*"state":"\([a-z]*\)".*/\1/p')
[ "$last_state" = stopped ] && last_state=$(tail -n 2 "$out/alpha/status.jsonl" | head -n 1 | sed -n 's/.*"state":"\([a-z]*\)".*/\1/p')
unfinished=$([ "$last_state" = streaming ] && echo 0 || echo 1)
echo "   alpha: every loss recovered: $([ $((recovered + unfinished)) -ge "$lost" ] && echo yes || echo no)"
[ $((recovered + unfinished)) -ge "$lost" ] && [ "$lost" -ge $((cycles - 1)) ] || failed=1
echo "network: $counted"
echo "resources at 1 min:"
sed 's/^1 min /   /' "$out/resources-1min.txt"
echo "resources at the end:"
echo "$end_resources" | sed 's/^/   /'
exit $failed
