#!/usr/bin/env bash
# Builds the Linux program and shows the report of the built-in demo machine:
#   scripts/run.sh [more report options, e.g. --json]
# On a fresh Debian 12 machine it first installs what the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake ninja-build g++ googletest
cmake --preset linux >/dev/null
cmake --build --preset linux --target stavrion
exec build/linux/stavrion report --machine demo "$@"
