#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet:
#   scripts/install-packages.sh cmake ninja-build g++
# Does nothing (and asks apt nothing) when all of them are present. Uses sudo
# only when not run as root. Recommended packages are left out: the steps name
# everything they use.
set -euo pipefail

# --no-install-recommends as the first argument is accepted (it is what
# every install does anyway).
if [[ "${1:-}" == --no-install-recommends ]]; then
  shift
fi
missing=()
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-packages: installing ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || {
    echo "install-packages: need root or sudo to install ${missing[*]}" >&2
    exit 1
  }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
