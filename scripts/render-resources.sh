#!/usr/bin/env bash
# Renders the window program's images from the SVG sources in resources/svg
# into OUTDIR (the build folder): the program icon and the disk status icons
# (.ico, several sizes, with icotool), the status pictures of the panel at
# every zoom step and the row icons of the attribute list (.png, with
# rsvg-convert), the splash picture, the about pane's banner, the built-in alert sound (scripts/make-alert-sound.py)
# and status-images.rc naming the pictures and the sound for windres.
#   scripts/render-resources.sh OUTDIR
set -euo pipefail

SRC="$(cd "$(dirname "$0")/../resources/svg" && pwd)"
OUT="$1"
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

png() { rsvg-convert -w "$2" -h "$3" -o "$4" "$1"; }
ico() {
  local svg="$1" out="$2" sizes=() size
  for size in 16 24 32 48 256; do
    png "$svg" "$size" "$size" "$TMP/i$size.png"
    sizes+=("$TMP/i$size.png")
  done
  icotool -c -o "$out" "${sizes[@]}"
}

# Status colours and shapes: the shape tells the status without its colour.
declare -A COLOR=([good]='#4c9a2a' [caution]='#e8a317' [bad]='#c8322b' [unknown]='#8a8a8a')
declare -A SHAPE=(
  [good]='<polyline points="22,49 35,62 58,34" fill="none" stroke="#fff" stroke-width="9" stroke-linecap="round" stroke-linejoin="round"/>'
  [caution]='<polygon points="40,26 62,66 18,66" fill="#fff"/><rect x="37" y="38" width="6" height="15" fill="#7a5200"/><rect x="37" y="57" width="6" height="5" fill="#7a5200"/>'
  [bad]='<path d="M24 32 L56 64 M56 32 L24 64" stroke="#fff" stroke-width="10" stroke-linecap="round"/>'
  [unknown]='<text x="40" y="66" font-family="DejaVu Sans, sans-serif" font-weight="bold" font-size="44" text-anchor="middle" fill="#fff">?</text>'
)
declare -A ID=([good]=301 [caution]=302 [bad]=303 [unknown]=304)
ZOOMS=(100 125 150 200 250 300)

ico "$SRC/app-icon.svg" "$OUT/StavrionGui.ico"
: >"$TMP/status-images.rc"
for s in good caution bad unknown; do
  sed -e "s|@COLOR@|${COLOR[$s]}|" -e "s|@SHAPE@|${SHAPE[$s]}|" "$SRC/status.svg.in" >"$TMP/status-$s.svg"
  for k in "${!ZOOMS[@]}"; do
    z=${ZOOMS[$k]}
    png "$TMP/status-$s.svg" $((80 * z / 100)) $((96 * z / 100)) "$OUT/status-$s-$z.png"
    echo "$((${ID[$s]} + 10 * k)) PNG \"status-$s-$z.png\"" >>"$TMP/status-images.rc"
  done
  # The disk icon carries the status badge at a third of the size.
  badge=$(echo "${SHAPE[$s]}" | sed 's|<|<|g')
  sed -e "s|@COLOR@|${COLOR[$s]}|" -e "s|@SHAPE@|<g transform=\"translate(-2 -8)\">$badge</g>|" \
    "$SRC/disk.svg.in" >"$TMP/disk-$s.svg"
  ico "$TMP/disk-$s.svg" "$OUT/disk-$s.ico"
done
png "$SRC/row-icons.svg" 80 16 "$OUT/row-icons.png"
png "$SRC/splash.svg" 1040 680 "$OUT/splash.png"
png "$SRC/about-banner.svg" 948 180 "$OUT/about-banner.png"
# The built-in alert sound, synthesised from its notes.
python3 "$(dirname "$0")/make-alert-sound.py" "$OUT/alert.wav"
echo 'QVN_SOUND_WAV WAVE "alert.wav"' >>"$TMP/status-images.rc"
cp "$TMP/status-images.rc" "$OUT/status-images.rc"
