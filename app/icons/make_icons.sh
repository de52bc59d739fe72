#!/usr/bin/env bash
# Renders the icon from its one drawing, hicolor/scalable/apps/*.svg, into the
# PNG sizes of the hicolor theme, the Windows ICO and the macOS ICNS, all
# committed beside it. Run it after changing the drawing.
# Needs librsvg2-bin (rsvg-convert), icoutils (icotool) and icnsutils (png2icns).
set -euo pipefail
cd "$(dirname "$0")"
name=org.vantorel.AdminsHelper
svg=hicolor/scalable/apps/$name.svg
png() { echo "hicolor/${1}x${1}/apps/$name.png"; }

for size in 16 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --format png "$svg" --output "$(png "$size")"
done

# Windows: every size its shell asks for, from the title bar at 100 % (16) over
# the scaled small and large icons of 125 to 200 % screens (20, 24, 40, 48, 64,
# 96) to Explorer's large and extra-large views (128, 256). The sizes that are
# not hicolor sizes are drawn into a scratch folder only. Up to 128 as bitmaps,
# 256 stored as PNG (the form Windows expects at that size).
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ico=()
for size in 16 20 24 32 40 48 64 96 128; do
  file=$(png "$size")
  if [ ! -f "$file" ]; then
    file=$scratch/$size.png
    rsvg-convert --width "$size" --height "$size" --format png "$svg" --output "$file"
  fi
  ico+=("$file")
done
icotool --create --output vantorel-admins.ico "${ico[@]}" --raw="$(png 256)"
# macOS: the sizes the ICNS format has slots for.
png2icns vantorel-admins.icns "$(png 16)" "$(png 32)" "$(png 48)" "$(png 128)" "$(png 256)" >/dev/null
