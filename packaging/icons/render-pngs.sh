#!/usr/bin/env bash
# Renders the committed PNG icons from talvex.svg; run after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
../../scripts/install-deps.sh librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" talvex.svg --output "png/talvex-$size.png"
done
