#!/usr/bin/env bash
# The one test command: everything CI runs, in this order, stopping at the
# first failure.
#   1. clang-format check of every .cpp/.h of ours, and the layer check
#      (scripts/check-layers.sh: no upward include, no Windows header outside win32/)
#   2. linux  : gcc Release build of the programs and benchmarks (as a packager
#               builds it; the e2e step runs this program)
#   3. asan   : gcc with AddressSanitizer + UndefinedBehaviorSanitizer, the native
#               test suite (with a real Prometheus server and a real mail server)
#   4. windows: mingw-w64 cross build (stavrion.exe, StavrionGui.exe, stavrion_tests.exe), test
#               suite under Wine, the window program under Wine on Xvfb (scripts/gui-test.py)
#   5. fuzz   : clang libFuzzer targets, each run briefly over its corpus
#   6. e2e    : the program against smartctl on emulated disks in a QEMU guest
#               (scripts/e2e-qemu.sh; the kernel comes from apt-get download)
# On a fresh Debian 12 machine it first installs what it needs with apt.
# Options: --only STEP[,STEP...] runs just those steps (format, linux, asan,
# windows, fuzz, e2e), for quick local checks.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=2
FUZZ_SECONDS=${STAVRION_FUZZ_SECONDS:-5}
ONLY=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --only) ONLY=",$2,"; shift 2 ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
wanted() { [[ -z "$ONLY" || "$ONLY" == *",$1,"* ]]; }

START=$(date +%s)
STEP="start-up"
TOTAL_PASSED=0
TOTAL_FAILED=0
SUMMARY=()
trap 'rc=$?; if [[ $rc -ne 0 ]]; then
        echo; echo "test.sh: FAILED in step \"$STEP\" (exit code $rc)" >&2; fi' EXIT

step() {
  STEP="$1"
  STEP_START=$(date +%s)
  echo
  echo "=== test.sh: $STEP ==="
}
step_done() {
  local took=$(($(date +%s) - STEP_START))
  SUMMARY+=("$(printf '%-40s %4d s' "$STEP" "$took")")
}

# ctest with its output kept, so the counts add up into one closing line.
run_ctest() {
  local preset="$1" log="build/$1/ctest-output.log"
  local rc=0
  ctest --preset "$preset" 2>&1 | tee "$log" || rc=$?
  local line passed failed
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [[ -z "$line" ]]; then
    echo "test.sh: ctest ($preset) printed no result line" >&2
    return 1
  fi
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((total - failed))
  TOTAL_PASSED=$((TOTAL_PASSED + passed))
  TOTAL_FAILED=$((TOTAL_FAILED + failed))
  if [[ $rc -ne 0 || $failed -ne 0 || $total -eq 0 ]]; then
    echo "test.sh: ctest ($preset): $failed of $total failed (exit code $rc)" >&2
    return 1
  fi
}

step "packages"
PACKAGES=(cmake ninja-build g++ git googletest clang libclang-rt-14-dev clang-format libssl-dev liburing-dev
          g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 librsvg2-bin icoutils python3)
scripts/install-packages.sh "${PACKAGES[@]}"
step_done

if wanted format; then
  step "format: clang-format and layer check"
  mapfile -t SOURCES < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' |
                         while read -r f; do [[ -f "$f" ]] && echo "$f"; done)
  echo "${#SOURCES[@]} files"
  if [[ ${#SOURCES[@]} -gt 0 ]]; then
    if ! clang-format --dry-run --Werror "${SOURCES[@]}"; then
      echo "test.sh: run clang-format -i on the files above" >&2
      exit 1
    fi
  fi
  # Includes point down the layers; Windows headers only in win32/ folders.
  scripts/check-layers.sh --self-test
  scripts/check-layers.sh
  step_done
fi

if wanted linux; then
  # The test suite is built and run once, with the sanitizers (next step):
  # building it a second time at -O3 costs minutes and finds nothing the
  # sanitizers do not.
  step "linux: Release build of the programs and benchmarks"
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target stavrion_programs
  step_done
fi

if wanted asan; then
  step "asan: build"
  # promtool and the Prometheus server check and scrape the metrics endpoint.
  scripts/install-packages.sh prometheus
  # A real mail server for the mail tests (tests/linux/EximMailTest.cpp),
  # which then must not skip; a few seconds of the test run.
  scripts/install-packages.sh --no-install-recommends exim4-daemon-heavy openssl libssl-dev
  export STAVRION_REQUIRE_EXIM=1
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  step_done
  step "asan: tests"
  run_ctest asan
  step_done
fi

if wanted windows; then
  step "windows: build"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  for exe in stavrion.exe stavrion_tests.exe StavrionGui.exe GuiReader.exe; do
    [[ -f "build/windows/$exe" ]] || { echo "test.sh: build/windows/$exe missing" >&2; exit 1; }
  done
  step_done
  step "windows: tests under Wine"
  # The mail client's Schannel TLS is tested against a real mail server
  # (scripts/wine-exim-test.sh), which then must not be skipped.
  scripts/install-packages.sh --no-install-recommends exim4-daemon-heavy openssl
  export STAVRION_REQUIRE_EXIM=1
  scripts/wine-run.sh --init
  export STAVRION_WINE_RETRY_LOG="$ROOT/build/windows/wine-retries.log"
  rm -f "$STAVRION_WINE_RETRY_LOG"
  run_ctest windows
  if [[ -s "$STAVRION_WINE_RETRY_LOG" ]]; then
    echo "test.sh: wine failed to start a program $(wc -l <"$STAVRION_WINE_RETRY_LOG") time(s) and was started again:"
    cat "$STAVRION_WINE_RETRY_LOG"
  fi
  step_done
  step "windows: the window program under Wine on Xvfb"
  # Wine's own fonts, a Japanese font, the virtual X display.
  scripts/install-packages.sh xvfb fonts-wine fonts-wqy-microhei
  # The window program's alarm mail goes to a real mail server, which then
  # must not be skipped.
  scripts/install-packages.sh --no-install-recommends exim4-daemon-heavy openssl
  export STAVRION_REQUIRE_EXIM=1
  rc=0
  scripts/gui-test.py build/windows 2>&1 | tee build/windows/gui-test.log || rc=$?
  line=$(grep -E '^gui-test: [0-9]+ checks, [0-9]+ failed' build/windows/gui-test.log | tail -1 || true)
  if [[ -n "$line" ]]; then
    checks=$(cut -d' ' -f2 <<<"$line")
    failed=$(cut -d' ' -f4 <<<"$line")
    TOTAL_PASSED=$((TOTAL_PASSED + checks - failed))
    TOTAL_FAILED=$((TOTAL_FAILED + failed))
  fi
  if [[ $rc -ne 0 || -z "$line" ]]; then
    echo "test.sh: the window program test failed (exit code $rc)" >&2
    exit 1
  fi
  step_done
fi

if wanted fuzz; then
  step "fuzz: build"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  step_done
  step "fuzz: smoke runs (${FUZZ_SECONDS} s each)"
  shopt -s nullglob
  FUZZ_SOURCES=(fuzz/*.cpp)
  shopt -u nullglob
  [[ ${#FUZZ_SOURCES[@]} -gt 0 ]] || echo "no fuzz targets yet"
  for src in "${FUZZ_SOURCES[@]}"; do
    name=$(basename "$src" .cpp)
    bin="build/fuzz/$name"
    [[ -x "$bin" ]] || { echo "test.sh: fuzz target $bin was not built" >&2; exit 1; }
    # New inputs go to a scratch folder; the checked-in corpus is only read.
    scratch="build/fuzz/corpus-$name"
    rm -rf "$scratch" && mkdir -p "$scratch"
    corpus=()
    [[ -d "fuzz/corpus/$name" ]] && corpus=("fuzz/corpus/$name")
    log="build/fuzz/$name.log"
    if "$bin" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$scratch" "${corpus[@]}" >"$log" 2>&1; then
      echo "$name: ok ($(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" |
                         grep -Eo '[0-9]+$' || echo '?') runs, corpus ${corpus[*]:-none})"
    else
      tail -60 "$log"
      echo "test.sh: fuzz target $name failed; full output in $log" >&2
      exit 1
    fi
  done
  step_done
fi

if wanted e2e; then
  step "e2e: emulated disks against smartctl"
  scripts/install-packages.sh qemu-system-x86 busybox-static smartmontools kmod cpio
  mkdir -p build/e2e
  rc=0
  # The guest runs the (static) program the linux step built (built here when that
  # step was left out), so the step builds nothing of its own.
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target stavrion
  E2E_STAVRION=build/linux/stavrion scripts/e2e-qemu.sh build/e2e 2>&1 |
    tee build/e2e/e2e-output.log || rc=$?
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' build/e2e/e2e-output.log | tail -1 || true)
  if [[ -n "$line" ]]; then
    TOTAL_PASSED=$((TOTAL_PASSED + $(cut -d' ' -f1 <<<"$line")))
    TOTAL_FAILED=$((TOTAL_FAILED + $(cut -d' ' -f3 <<<"$line")))
  fi
  if [[ $rc -ne 0 || -z "$line" ]]; then
    echo "test.sh: the end-to-end test failed (exit code $rc)" >&2
    exit 1
  fi
  step_done
fi

STEP="summary"
echo
echo "=== test.sh: summary ==="
printf '%s\n' "${SUMMARY[@]}"
echo "wall time: $(($(date +%s) - START)) s"
echo "tests: $TOTAL_PASSED passed, $TOTAL_FAILED failed"
