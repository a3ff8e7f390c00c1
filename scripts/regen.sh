#!/usr/bin/env bash
# The one command that writes the test and demo data again from their sources:
#   scripts/regen.sh [sysfs] [demo] [families] [golden]    (no argument: all four)
#
#   sysfs     fixtures/sysfs/*: captured sysfs trees (fixtures/sysfs/make-trees.py)
#   demo      fixtures/machines/demo/: the demo machine's sectors and pages
#             (scripts/make_demo_paths_disks.py, scripts/regenerate_demo_machine.py);
#             the build embeds the folder into the program
#   families  fixtures/families/: the family disks, from the table in
#             tests/engine/FamilyFixturesTest.cpp (runs that test with STAVRION_WRITE_FIXTURES=1)
#   golden    fixtures/golden/*.json: the reports of the fixture machines
#             (scripts/regen-golden.sh); review every change by hand
#
# They run in this order, as the later ones read what the earlier ones write.
# Builds what it needs with the linux preset; ends with what changed.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="$ROOT/build/linux"

ALL=(sysfs demo families golden)
WANTED=("$@")
[[ ${#WANTED[@]} -gt 0 ]] || WANTED=("${ALL[@]}")
for w in "${WANTED[@]}"; do
  [[ " ${ALL[*]} " == *" $w "* ]] || { echo "regen: unknown data set '$w' (${ALL[*]})" >&2; exit 2; }
done
wanted() { [[ " ${WANTED[*]} " == *" $1 "* ]]; }

configured=0
build() {
  if [[ $configured -eq 0 ]]; then
    cmake --preset linux >/dev/null
    configured=1
  fi
  cmake --build --preset linux --target "$@"
}

if wanted sysfs; then
  echo "regen: sysfs trees"
  (cd fixtures/sysfs && python3 make-trees.py)
fi
if wanted demo; then
  echo "regen: demo machine"
  python3 scripts/make_demo_paths_disks.py
  python3 scripts/regenerate_demo_machine.py
fi
if wanted families; then
  echo "regen: family disks"
  build stavrion_tests
  STAVRION_WRITE_FIXTURES=1 "$BUILD/stavrion_tests" --gtest_filter='FamilyFixtures.*' >/dev/null
fi
if wanted golden; then
  echo "regen: golden reports"
  scripts/regen-golden.sh "$BUILD"
fi
git --no-pager status --short -- fixtures
