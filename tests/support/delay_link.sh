# Sourced by the tests and benchmarks that need a far link where the kernel has no netem (sch_netem). Defines
# start_delay_link and stop_delay_link, to be run as root of a network namespace of the caller's own.
# start_delay_link TOOL DELAY_MS LOSS: gives the loopback device an Ethernet path's MTU (1500 bytes), so that TCP's
# slow start counts in segments as it does on a real far link, starts TOOL (zarn-delay-link) and queues to it every
# packet that arrives on the loopback device, which it holds DELAY_MS before letting it in, dropping the share LOSS
# (0 to 1): a round trip takes twice DELAY_MS, as with netem on the loopback device. The packets are queued where
# they arrive, not where they leave: leaving, they still count against the sending socket, and TCP's small-queue
# limit would hold the sender back while they wait. Checks with ping (when installed) that a round trip takes at
# least twice DELAY_MS. Sets delay_link_pid; returns 1 with the reason on stderr when the link cannot be made.
# stop_delay_link: takes the rule away and stops the tool; the kernel's and the tool's counts go to stderr.
delay_link_pid=
delay_link_queued=

start_delay_link() {
    local tool=$1 delay=$2 loss=$3
    local ready
    if ! command -v iptables >/dev/null; then
        echo "delay_link: iptables is missing (scripts/setup installs it)" >&2
        return 1
    fi
    ready=$(mktemp)
    "$tool" --delay-ms "$delay" --loss "$loss" > "$ready" &
    delay_link_pid=$!
    for _ in $(seq 100); do
        if [ -s "$ready" ] || ! kill -0 "$delay_link_pid" 2>/dev/null; then break; fi
        sleep 0.02
    done
    if [ "$(cat "$ready")" != ready ]; then
        rm -f "$ready"
        echo "delay_link: $tool did not start" >&2
        stop_delay_link
        return 1
    fi
    rm -f "$ready"
    # No bypass: should the tool die, the link goes silent and the run fails, instead of going on undelayed.
    if ! ip link set lo mtu 1500 || ! iptables -w -A INPUT -i lo -j NFQUEUE --queue-num 0 ||
        ! ip6tables -w -A INPUT -i lo -j NFQUEUE --queue-num 0; then
        iptables -w -D INPUT -i lo -j NFQUEUE --queue-num 0 2>/dev/null
        ip link set lo mtu 65536
        echo "delay_link: cannot queue the loopback device's packets (ip, iptables and ip6tables NFQUEUE)" >&2
        stop_delay_link
        return 1
    fi
    delay_link_queued=1
    if command -v ping >/dev/null; then
        # -U: the time as the program sees it; the kernel's receive stamp is taken before the packet is held.
        local round_trip
        for _ in $(seq 5); do
            round_trip=$(ping -U -n -c 1 -W 5 127.0.0.1 | sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p')
            if [ -n "$round_trip" ]; then break; fi
        done
        if [ -z "$round_trip" ] || ! awk -v t="$round_trip" -v d="$delay" 'BEGIN { exit !(t >= 2 * d) }'; then
            echo "delay_link: a round trip took ${round_trip:-forever} ms, not at least $((2 * delay)) ms" >&2
            stop_delay_link
            return 1
        fi
        echo "delay_link: a ping's round trip: $round_trip ms"
    fi
}

stop_delay_link() {
    if [ -n "$delay_link_queued" ]; then
        # Packets the kernel could not hand to the tool are lost as well; a real link's full buffer does the same.
        awk '$1 == 0 { print "delay_link: the kernel dropped " $6 " packets for a full queue, " $7 \
            " for a full socket" }' /proc/net/netfilter/nfnetlink_queue >&2 2>/dev/null || true
        iptables -w -D INPUT -i lo -j NFQUEUE --queue-num 0 || true
        ip6tables -w -D INPUT -i lo -j NFQUEUE --queue-num 0 || true
        ip link set lo mtu 65536 || true
    fi
    delay_link_queued=
    if [ -n "$delay_link_pid" ]; then
        kill "$delay_link_pid" 2>/dev/null || true
        wait "$delay_link_pid" 2>/dev/null || true
    fi
    delay_link_pid=
}
