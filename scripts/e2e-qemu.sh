#!/bin/bash
# End-to-end test on emulated disks: boots a Debian kernel under QEMU (TCG)
# with an AHCI SATA disk, two NVMe disks (one with a critical warning) and a
# USB mass-storage disk, runs `stavrion report --json` and smartctl inside on
# the same disks, and compares what they read. Also times both programs.
#
#   scripts/e2e-qemu.sh [WORKDIR]     (default: build-e2e)
#
# E2E_STAVRION=PATH uses that program (with its shared libraries, should it
# have any) instead of building one here; scripts/test.sh passes the program
# its linux step built, which is linked statically like this one.
#
# Needs root for apt-get when a package is missing. Downloads the kernel
# package with apt-get download and unpacks it; nothing is installed from it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mkdir -p "${1:-$ROOT/build-e2e}" && cd "${1:-$ROOT/build-e2e}" && pwd)
RUNS=${E2E_TIMING_RUNS:-5}
log() { echo "e2e: $*" >&2; }

# ---- tools ----
need=()
command -v qemu-system-x86_64 >/dev/null || need+=(qemu-system-x86)
# (grep reads everything: with -q it could stop early and fail the pipe.)
[ -x /bin/busybox ] && /bin/busybox --list | grep -x insmod >/dev/null || need+=(busybox-static)
command -v smartctl >/dev/null || need+=(smartmontools)
command -v depmod >/dev/null || need+=(kmod)
command -v cpio >/dev/null || need+=(cpio)
if [ ${#need[@]} -gt 0 ]; then
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >&2
fi
SMARTCTL=$(command -v smartctl)

# ---- kernel ----
KPKG=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/{print $2; exit}')
if [ -z "$KPKG" ]; then
  log "cannot tell which kernel package linux-image-amd64 stands for (apt-get update?)"
  exit 1
fi
KDIR=$WORK/kernel/$KPKG
if [ ! -d "$KDIR/boot" ]; then
  log "fetching $KPKG"
  mkdir -p "$WORK/deb" "$KDIR"
  (cd "$WORK/deb" && apt-get download "$KPKG" >&2)
  dpkg-deb -x "$WORK"/deb/"$KPKG"_*.deb "$KDIR"
fi
KVER=$(ls "$KDIR/lib/modules")
VMLINUZ=$KDIR/boot/vmlinuz-$KVER

# ---- programs ----
if [ -n "${E2E_STAVRION:-}" ]; then
  [ -x "$E2E_STAVRION" ] || { log "E2E_STAVRION=$E2E_STAVRION is not a program"; exit 1; }
  log "using $E2E_STAVRION"
  STAVRION=$E2E_STAVRION
else
log "building static stavrion"
# Optimised like a release; gcc's flow analysis at -O2 has false alarms that
# the warnings-as-errors build would stop on, so they stay warnings here.
cmake -S "$ROOT" -B "$WORK/static" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTAVRION_TESTS=OFF \
  -DSTAVRION_BENCH=OFF -DCMAKE_EXE_LINKER_FLAGS=-static \
  -DCMAKE_CXX_FLAGS="-Wno-error=maybe-uninitialized -Wno-error=restrict -Wno-error=stringop-overflow -Wno-error=array-bounds" >/dev/null
cmake --build "$WORK/static" --target stavrion -j2 >&2
STAVRION=$WORK/static/stavrion
fi
g++ -O2 -static -o "$WORK/walltime" "$ROOT/scripts/e2e/walltime.cpp"

# ---- initramfs ----
log "building the initramfs"
IR=$WORK/initramfs
rm -rf "$IR"
mkdir -p "$IR"/{bin,sbin,etc,proc,sys,dev,tmp,usr/bin,lib/modules/"$KVER"}
cp /bin/busybox "$IR/bin/busybox"
ln -s busybox "$IR/bin/sh"
cp "$ROOT/scripts/e2e/init" "$IR/init"
strip -o "$IR/usr/bin/stavrion" "$STAVRION"
cp "$WORK/walltime" "$IR/usr/bin/"
cp -r "$(dirname "$STAVRION")/TslResource" "$IR/usr/bin/" 2>/dev/null || true
# smartctl (and a dynamically linked stavrion) with the shared libraries they
# need, at the same paths.
cp "$SMARTCTL" "$IR/usr/bin/smartctl"
for prog in "$SMARTCTL" "$STAVRION"; do
  for lib in $( (ldd "$prog" 2>/dev/null || true) | grep -o '/[^ ]*'); do
    mkdir -p "$IR$(dirname "$lib")"
    cp -L "$lib" "$IR$lib"
  done
done

# The drivers and everything they depend on, in load order.
depmod -b "$KDIR" "$KVER"
DEP=$KDIR/lib/modules/$KVER/modules.dep
order=()
add_module() {  # path relative to the modules folder
  local m=$1 d
  for done_m in "${order[@]:-}"; do [ "$done_m" = "$m" ] && return; done
  for d in $(grep "^$m:" "$DEP" | cut -d: -f2); do add_module "$d"; done
  order+=("$m")
}
for name in ahci sd_mod nvme xhci-pci usb-storage; do
  path=$(grep -E "/$name\.ko(\.[a-z]+)?:" "$DEP" | head -1 | cut -d: -f1)
  [ -n "$path" ] || { log "no module $name in $KPKG"; exit 1; }
  add_module "$path"
done
for m in "${order[@]}"; do
  mkdir -p "$IR/lib/modules/$KVER/$(dirname "$m")"
  cp "$KDIR/lib/modules/$KVER/$m" "$IR/lib/modules/$KVER/$m"
done
printf '%s\n' "${order[@]}" > "$IR/etc/modules.order"
depmod -b "$IR" "$KVER"
echo 4 > "$IR/etc/disk-count"
echo "$RUNS" > "$IR/etc/timing-runs"
(cd "$IR" && find . | cpio -o -H newc --quiet | gzip -1) > "$WORK/initramfs.gz"

# ---- disks and boot ----
for d in sata nvme0 nvme1 usb; do
  rm -f "$WORK/$d.img"
  truncate -s 1G "$WORK/$d.img"
done
OUT=$WORK/guest.out
rm -f "$OUT"
log "booting"
start=$(date +%s)
timeout 300 qemu-system-x86_64 -machine pc -accel tcg -m 768 -smp 1 -nographic -no-reboot \
  -kernel "$VMLINUZ" -initrd "$WORK/initramfs.gz" \
  -append "console=ttyS0 quiet loglevel=1 panic=-1" \
  -serial file:"$WORK/console.log" -serial file:"$OUT" -monitor none \
  -device ahci,id=ahci \
  -drive if=none,id=sata0,file="$WORK/sata.img",format=raw \
  -device "ide-hd,drive=sata0,bus=ahci.0,model=STAVRION E2E SATA DISK,serial=SE2E0001SATA,ver=E2E1.0" \
  -drive if=none,id=nv0,file="$WORK/nvme0.img",format=raw \
  -device nvme,drive=nv0,serial=SE2E0002NVME \
  -drive if=none,id=nv1,file="$WORK/nvme1.img",format=raw \
  -device nvme,drive=nv1,serial=SE2E0003NVME,smart_critical_warning=0x4 \
  -device qemu-xhci,id=xhci \
  -drive if=none,id=u0,file="$WORK/usb.img",format=raw \
  -device usb-storage,bus=xhci.0,drive=u0 -nic none >/dev/null
log "guest ran $(($(date +%s) - start)) s"

python3 "$ROOT/scripts/e2e/compare.py" "$OUT"
