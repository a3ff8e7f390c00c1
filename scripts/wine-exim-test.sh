#!/usr/bin/env bash
# The Windows mail client's TLS (Schannel, under Wine) against a real Exim:
#   scripts/wine-exim-test.sh build/windows/stavrion_tests.exe
# Starts Exim on two free loopback ports (scripts/exim-test-mta.sh: STARTTLS
# on one, TLS from the first byte on the other, a certificate for localhost
# and 127.0.0.1) and a second one whose certificate names localhost only,
# runs the tests SchannelEximTest.* of the Windows test program with their
# folders and ports in STAVRION_EXIM_DIR, STAVRION_EXIM_PORT,
# STAVRION_EXIM_TLS_PORT, STAVRION_EXIM_DNS_ONLY_DIR and
# STAVRION_EXIM_DNS_ONLY_TLS_PORT, and stops both. Without
# Exim the test is left out (exit 0, said so) unless STAVRION_REQUIRE_EXIM is
# set; a test that skipped instead of running fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1")
if [[ ! -x /usr/sbin/exim4 ]]; then
  echo "wine-exim-test: Exim is not installed (scripts/install-packages.sh exim4-daemon-heavy)"
  [[ -n "${STAVRION_REQUIRE_EXIM:-}" ]] && exit 1
  exit 0
fi
dir=$(mktemp -d /tmp/stavrion-wine-exim-XXXXXX)
chmod 755 "$dir"  # Exim works as its own user
cleanup() {
  bash "$root/scripts/exim-test-mta.sh" stop "$dir/names" || true
  bash "$root/scripts/exim-test-mta.sh" stop "$dir/dns" || true
  [[ -n "${KEEP_EXIM:-}" ]] || rm -rf "$dir"
}
trap cleanup EXIT
read -r port tls_port dns_port dns_tls_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(4)]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])')
# One server whose certificate names localhost and 127.0.0.1, one whose
# certificate names localhost only.
bash "$root/scripts/exim-test-mta.sh" start "$dir/names" "$port" "$tls_port"
EXIM_TEST_SAN=DNS:localhost bash "$root/scripts/exim-test-mta.sh" start "$dir/dns" "$dns_port" \
  "$dns_tls_port"
out=$(STAVRION_EXIM_DIR="$dir/names" STAVRION_EXIM_PORT="$port" STAVRION_EXIM_TLS_PORT="$tls_port" \
  STAVRION_EXIM_DNS_ONLY_DIR="$dir/dns" STAVRION_EXIM_DNS_ONLY_TLS_PORT="$dns_tls_port" \
  "$root/scripts/wine-run.sh" "$exe" --gtest_filter='SchannelEximTest.*' 2>&1) || {
  echo "$out"
  echo "wine-exim-test: failed; Exim's log:"
  cat "$dir"/*/log/mainlog "$dir"/*/log/rejectlog "$dir"/*/log/paniclog 2>/dev/null || true
  exit 1
}
echo "$out"
if grep -q '\[  SKIPPED \]' <<<"$out" || ! grep -q '\[  PASSED  \] [1-9]' <<<"$out"; then
  echo "wine-exim-test: the tests did not run against Exim"
  exit 1
fi
