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

# Windows: small sizes as bitmaps for the title bar and Explorer's lists, 256
# stored as PNG (the form Windows expects at that size).
icotool --create --output vantorel-admins.ico \
  "$(png 16)" "$(png 24)" "$(png 32)" "$(png 48)" "$(png 64)" --raw="$(png 256)"
# macOS: the sizes the ICNS format has slots for.
png2icns vantorel-admins.icns "$(png 16)" "$(png 32)" "$(png 48)" "$(png 128)" "$(png 256)" >/dev/null
