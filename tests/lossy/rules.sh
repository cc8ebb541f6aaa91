# Sourced by the network scripts: a private network namespace and the
# nftables table "lossy" between the host and its simulators on loopback.

# Re-runs the calling script ($1, with the rest as its arguments) in a
# network namespace of its own, so no rule touches anybody else's traffic.
# Returns where the current one is already private (ms-netns, or CI's
# isolated); exits 77 where none can be had or nft cannot set rules.
enter_namespace() {
  local script=$1
  shift
  if [ "${LOSSY_IN_NAMESPACE:-}" != 1 ]; then
    if unshare -n true 2>/dev/null; then
      exec env LOSSY_IN_NAMESPACE=1 unshare -n "$script" "$@"
    fi
    if [ "$(ip -o link show 2>/dev/null | wc -l)" != 1 ]; then
      echo "$script: SKIPPED: no private network namespace can be made here" >&2
      exit 77
    fi
  fi
  ip link set lo up
  if ! nft list tables >/dev/null 2>&1; then
    echo "$script: SKIPPED: nft cannot run here (not installed, or no right to set rules)" >&2
    exit 77
  fi
}

# A fresh table: a blackhole set whose elements expire by themselves, a
# chain in the input hook for losses, one in the output hook for copies.
# Data packets are type 210 (the byte after the header's first eight); every
# other packet from a system is a reply.
set_rules() {
  nft -f - <<RULES
table ip lossy
delete table ip lossy
table ip lossy {
  set blackhole { type ipv4_addr; flags timeout; }
  chain in {
    type filter hook input priority 0; policy accept;
    ip saddr @blackhole udp sport 5000 counter drop comment "blackhole"
  }
  chain out {
    type filter hook output priority 0; policy accept;
  }
}
RULES
}
data='@ih,64,8 210'
reply='@ih,64,8 != 210'
from_system() { echo "ip saddr $1 udp sport 5000"; }
to_system() { echo "ip daddr $1 udp dport 5000"; }

# lose MATCH PERCENT NAME, twice MATCH PERCENT COPY_TO NAME (100: every packet)
chance() { [ "$1" -ge 100 ] || echo "numgen random mod 100 < $1"; }
lose() { nft add rule ip lossy in "$1" $(chance "$2") counter drop comment "\"$3\""; }
twice() { nft add rule ip lossy out "$1" $(chance "$2") dup to "$3" device lo counter comment "\"$4\""; }

# "name: N" for every rule, the packets it took.
counters() {
  nft list table ip lossy | sed -n 's/.*counter packets \([0-9]*\) .*comment "\([^"]*\)".*/\2: \1/p' |
    paste -sd, | sed 's/,/, /g'
}
