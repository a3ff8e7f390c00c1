#!/usr/bin/env bash
# Checks the shipped systemd unit with systemd-analyze, with ExecStart
# pointed at the program just built (verify wants it to exist).
#   scripts/check-systemd-unit.sh UNIT PROGRAM
set -euo pipefail
unit=$1
program=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s|^ExecStart=/usr/local/bin/stavrion|ExecStart=$program|" "$unit" >"$dir/$(basename "$unit")"
out=$(systemd-analyze verify "$dir/$(basename "$unit")" 2>&1 || true)
if [[ -n "$out" ]]; then
  echo "$out"
  exit 1
fi
echo "ok: $(basename "$unit")"
