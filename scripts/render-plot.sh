#!/bin/sh
# Renders a plot written by -plot to PNG without a browser (rsvg-convert, Debian librsvg2-bin).
# Usage: sh scripts/render-plot.sh [PLOT.svg [OUT.png]]   (OUT.png defaults to PLOT.png)
# Without arguments: builds Orvex, fits the bundled example with -plot out/example.svg and
# renders it to examples/2mjb_set500_plot.png, the picture in the README.
# Installs the tools first when run as root on a machine that lacks them.
set -eu
if [ $# -ge 1 ]; then
    svg=$(readlink -f "$1")
    png=$(readlink -f "${2:-${1%.svg}.png}")
fi
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh
command -v rsvg-convert >/dev/null 2>&1 || { echo "rsvg-convert not found (Debian package librsvg2-bin)" >&2; exit 1; }
if [ $# -eq 0 ]; then
    cmake -S . -B build >/dev/null
    cmake --build build -j"$(nproc)" --target Orvex
    mkdir -p out
    status=0
    ./build/Orvex -pdb examples/2MJB.pdb -inD examples/2mjb_set500_backbone.tab -outD out/example.tab \
        -plot out/example.svg >/dev/null || status=$?
    # a completed run ends with status 1
    [ "$status" -eq 1 ] || { echo "Orvex ended with status $status" >&2; exit 1; }
    svg=out/example.svg
    png=examples/2mjb_set500_plot.png
fi
# 1000 pixels for the plot's 500 units: sharp on screen and in print at column width
rsvg-convert -w 1000 -b white -o "$png" "$svg"
echo "$png"
