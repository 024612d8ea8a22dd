#!/usr/bin/env bash
# Renders tarvex.png (128 px, the About box logo and the raster icon) from the same drawing
# as tarvex.svg, with ImageMagick only (no SVG renderer needed).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
convert -size 128x128 xc:none \
  -fill '#1c3a6e' -draw "roundrectangle 4,4 123,123 18,18" \
  -fill none -stroke '#ffd84a' -strokewidth 5 \
  -draw "path 'M 40 30 A 26 26 0 0 0 40 66'" \
  -draw "path 'M 30 20 A 40 40 0 0 0 30 76'" \
  -draw "path 'M 88 30 A 26 26 0 0 1 88 66'" \
  -draw "path 'M 98 20 A 40 40 0 0 1 98 76'" \
  -stroke none -fill '#ffd84a' -draw "circle 64,48 64,55" \
  -draw "path 'M 64 52 L 52 100 L 76 100 Z'" \
  -fill none -stroke '#8fd0ff' -strokewidth 3 \
  -draw "path 'M 14 112 L 26 112 L 26 104 L 38 104 L 38 112 L 50 112 L 50 104 L 62 104 L 62 112 L 78 112 L 78 104 L 90 104 L 90 112 L 102 112 L 102 104 L 114 104'" \
  -depth 8 tarvex.png
