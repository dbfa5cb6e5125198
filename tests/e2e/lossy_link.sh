#!/usr/bin/env bash
# Runs a command in a network namespace of its own whose loopback device is a far, lossy link: every packet
# delayed by 100 ms and 2% of them lost. The link is made with tc netem; where the kernel has no netem, with the
# delay tool that ZARN_DELAY_LINK names (zarn-delay-link, holding every packet in a netfilter queue; the
# loopback device then has an Ethernet MTU); without that tool, the loss alone is made with an nftables rule. The
# run says which. Exits 77 (CTest's skip) with the reason when no namespace can be made or nothing can shape the
# link; otherwise with the command's own status.
#   tests/e2e/lossy_link.sh COMMAND [ARGUMENT...]
set -uo pipefail

if [ "$#" -eq 0 ]; then
    echo "usage: lossy_link.sh COMMAND [ARGUMENT...]" >&2
    exit 2
fi
if [ "${ZARN_IN_LOSSY_LINK:-}" != 1 ]; then
    # Root makes the namespace itself; anyone else as root of a user namespace of their own.
    unshare_flags=(-n)
    if [ "$(id -u)" -ne 0 ]; then unshare_flags=(-r -n); fi
    if ! unshare "${unshare_flags[@]}" true 2>/dev/null; then
        echo "lossy_link: skipped: this machine allows no network namespace (unshare ${unshare_flags[*]})"
        exit 77
    fi
    ZARN_IN_LOSSY_LINK=1 exec unshare "${unshare_flags[@]}" "$0" "$@"
fi

export PATH="$PATH:/usr/sbin"
source "$(dirname "$0")/../support/delay_link.sh"
trap stop_delay_link EXIT

if ! ip link set lo up; then
    echo "lossy_link: skipped: the namespace's loopback device cannot be brought up"
    exit 77
fi
if tc qdisc add dev lo root netem delay 100ms loss 2% 2>/dev/null; then
    echo "lossy_link: loopback with 100 ms of delay and 2% loss (tc netem)"
elif [ -x "${ZARN_DELAY_LINK:-}" ] && start_delay_link "$ZARN_DELAY_LINK" 100 0.02; then
    echo "lossy_link: this kernel has no netem: loopback with 100 ms of delay and 2% loss (zarn-delay-link)"
elif command -v nft >/dev/null &&
    nft add table inet lossy_link 2>/dev/null &&
    nft add chain inet lossy_link out '{ type filter hook output priority 0; }' &&
    nft add rule inet lossy_link out numgen random mod 100 '<' 2 drop; then
    echo "lossy_link: this kernel has no netem and the delay tool is missing or failed: loopback with 2% loss only" \
        "(nftables), no added delay"
else
    echo "lossy_link: skipped: neither tc netem, zarn-delay-link nor nftables can shape the namespace's loopback device"
    exit 77
fi
"$@"
