#!/usr/bin/env bash
# Renders the window program's images from the SVG sources in resources/svg
# into OUTDIR (the build folder): the program icon and the disk status icons
# (.ico, several sizes, with icotool), the status pictures of the panel at
# every zoom step and the row icons of the attribute list (.png, with
# rsvg-convert), the splash picture, the about pane's banner, the gauges of
# the panes and of the panel (one template, one picture per level), the
# panes' backgrounds (one template, one mark per pane), the panel's load
# meter (one template, one picture per level), the built-in alert
# sound (scripts/make-alert-sound.py) and status-images.rc naming the
# pictures and the sound for windres.
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
# Gauges: one picture per level, numbered as the panes choose them. They are
# rendered at twice their size at zoom 1 and drawn scaled to the control.
#   gauge NAME WIDTH HEIGHT SEGMENTS ID...   (ids from empty to full)
gauge() {
  local name="$1" w="$2" h="$3" n="$4" k=0 id color
  shift 4
  for id in "$@"; do
    # Blue, amber from 70 %, red from 90 %: the colour repeats what the
    # count of lit segments says.
    if ((k * 100 >= 90 * n)); then color='#c8322b'; elif ((k * 100 >= 70 * n)); then color='#e39a0e'
    else color='#2f7fd0'; fi
    sed -e "s|@W@|$w|g" -e "s|@H@|$h|g" -e "s|@W1@|$((w - 1))|" -e "s|@H1@|$((h - 1))|" \
      -e "s|@R@|$((h / 4))|" -e "s|@PITCH@|$((w / n))|g" -e "s|@LIT@|$((k * w / n))|" \
      -e "s|@COLOR@|$color|" "$SRC/gauge.svg.in" >"$TMP/gauge.svg"
    png "$TMP/gauge.svg" $((2 * w)) $((2 * h)) "$OUT/$name-$k.png"
    echo "$id PNG \"$name-$k.png\"" >>"$TMP/status-images.rc"
    k=$((k + 1))
  done
}
# The performance pane: 0 %, then a picture per five percent.
gauge perf 820 50 20 520 537 425 538 426 539 427 540 428 541 429 542 430 543 431 544 432 545 433 546 434
# The memory pane's usage gauge, the same steps.
gauge memory 480 24 20 509 548 510 549 511 550 512 551 513 552 514 553 515 554 516 555 517 556 518 557 519
# The panel's read and write gauges: a picture per ten percent.
gauge rate 140 14 10 463 464 465 466 467 468 469 470 471 472 473
# The panel's load meter, idle to full: five bars, lit one by one.
k=0
for id in 193 192 194 212 195 196; do
  if ((k == 5)); then color='#c8322b'; elif ((k == 4)); then color='#e39a0e'; else color='#2f7fd0'; fi
  sed -e "s|@LIT@|$((k * 9 + 4 * (k > 0)))|" -e "s|@COLOR@|$color|" "$SRC/load.svg.in" >"$TMP/load.svg"
  png "$TMP/load.svg" 112 112 "$OUT/load-$k.png"
  echo "$id PNG \"load-$k.png\"" >>"$TMP/status-images.rc"
  k=$((k + 1))
done
# The memory speed grades 1 to 7 (IDP_DRAM_GRADE_FIRST on).
for g in 1 2 3 4 5 6 7; do
  sed -e "s|@LIT@|$((21 * g))|" "$SRC/grade.svg.in" >"$TMP/grade.svg"
  png "$TMP/grade.svg" 300 56 "$OUT/grade-$g.png"
  echo "$((2000 + g)) PNG \"grade-$g.png\"" >>"$TMP/status-images.rc"
done

# Pane backgrounds: one picture each, drawn scaled over the pane.
declare -A MOTIF=(
  # A memory module: the board, its chips and the contact row with its key.
  [memory]='<rect x="0" y="60" width="200" height="86" rx="6"/><rect x="18" y="78" width="34" height="36"/><rect x="62" y="78" width="34" height="36"/><rect x="106" y="78" width="34" height="36"/><rect x="150" y="78" width="34" height="36"/><path d="M10 146 V168 H94 M110 168 H190 V146"/>'
  # A dial with its needle.
  [system]='<path d="M20 160 A82 82 0 1 1 184 160"/><path d="M102 160 L150 92"/><circle cx="102" cy="160" r="10"/><path d="M38 120 L52 126 M102 78 V94 M166 120 L152 126"/>'
  # A computer: the screen, its stand and foot.
  [computer]='<rect x="8" y="22" width="184" height="124" rx="8"/><path d="M100 146 V178 M56 190 H144"/>'
  # Settings: three sliders.
  [setting1]='<path d="M14 48 H186 M14 108 H186 M14 168 H186"/><circle cx="62" cy="48" r="16"/><circle cx="138" cy="108" r="16"/><circle cx="92" cy="168" r="16"/>'
  # The about pane: the band alone, its banner is its mark.
  [about]=''
  # The settings' About page: an "i" in a ring.
  [setting2]='<circle cx="100" cy="106" r="86"/><path d="M100 90 V156"/><circle cx="100" cy="60" r="6"/>'
  # The Disk page: a platter and the arm over it.
  # The detail and graph panes (grey): a chart line over its axes.
  [gray]='<path d="M8 16 V186 H196"/><path d="M24 150 L64 110 L100 128 L142 62 L188 40"/><circle cx="142" cy="62" r="8"/>'
  [setting3]='<circle cx="96" cy="104" r="84"/><circle cx="96" cy="104" r="16"/><path d="M192 24 L120 130"/><circle cx="192" cy="24" r="8"/>'
)
declare -A ACCENT=([about]='#2f7fd0' [memory]='#2f7fd0' [system]='#2f7fd0' [computer]='#2f7fd0' [setting1]='#4c9a2a'
  [setting2]='#4c9a2a' [setting3]='#4c9a2a' [gray]='#8a8a8a')
declare -A BACKGROUND_ID=([memory]=1991 [system]=1992 [computer]=1993 [setting1]=1994 [setting2]=1995
  [setting3]=1996 [about]=1997 [gray]=1998)
for b in memory system computer about setting1 setting2 setting3 gray; do
  # The grey panes get a neutral band; the others a cool blue-grey one.
  band='#e6ebf1'
  [[ $b == gray ]] && band='#e8e8e8'
  sed -e "s|@MOTIF@|${MOTIF[$b]}|" -e "s|@ACCENT@|${ACCENT[$b]}|" -e "s|@BAND@|$band|" "$SRC/background.svg.in" >"$TMP/background.svg"
  png "$TMP/background.svg" 990 624 "$OUT/background-$b.png"
  echo "${BACKGROUND_ID[$b]} PNG \"background-$b.png\"" >>"$TMP/status-images.rc"
done

# The built-in alert sound, synthesised from its notes.
python3 "$(dirname "$0")/make-alert-sound.py" "$OUT/alert.wav"
echo 'QVN_SOUND_WAV WAVE "alert.wav"' >>"$TMP/status-images.rc"
cp "$TMP/status-images.rc" "$OUT/status-images.rc"
