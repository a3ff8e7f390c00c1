#!/usr/bin/env bash
# Rewrites the golden reports under fixtures/golden/ from the current build:
#   scripts/regen-golden.sh [build-dir]
# Every changed file must be reviewed by hand against fixtures/golden/README.md
# before it is committed: a wrong golden file is worse than none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/linux"}
cmake --build "$build" --target stavrion >/dev/null
mkdir -p "$root/fixtures/golden"
for machine in real-ata families; do
  [[ -d "$root/fixtures/$machine" ]] || continue
  out="$root/fixtures/golden/$machine.json"
  status=0
  "$build/stavrion" report --json --machine "$root/fixtures/$machine" >"$out.new" || status=$?
  if [[ $status -gt 1 ]]; then
    rm -f "$out.new"
    echo "regen-golden: the report of $machine failed ($status)" >&2
    exit 1
  fi
  mv "$out.new" "$out"
  echo "regen-golden: wrote fixtures/golden/$machine.json"
done
git -C "$root" --no-pager diff --stat -- fixtures/golden || true
