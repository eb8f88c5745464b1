#!/usr/bin/env bash
# Renders every sample payload of tools/prescriptions/ the way a workstation
# prints it (a real Novarcprint on the embedded PDF printer of a scratch
# winport root, the form placed half an inch in from the printable area's
# corner) and saves the top of page 1 as docs/gallery/<sample>.png, so a
# reviewer can lay the picture beside the stock it must fit.
#
#   tools/forms-gallery.sh [BUILD-DIR]      (default build/debug)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
out=docs/gallery
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$out"
for payload in tools/prescriptions/*.payload; do
    name=$(basename "$payload" .payload)
    root="$scratch/$name"
    mkdir -p "$root"
    WINPORT_ROOT="$root" "$build/bin/novarc-send" --spawn "$build/bin/Novarcprint" --wait 1000 \
        --printer "Workstation PDF" --prescription "$payload" --position 300,300 >"$root/send.log"
    pdf=$(find "$root/drive_c/novarc/printed" -name '*.pdf' | head -1)
    if [ -z "$pdf" ]; then
        echo "forms-gallery: $name printed nothing (see $root/send.log)" >&2
        cat "$root/send.log" >&2
        exit 1
    fi
    # 100 dots per inch, grey; the 6 x 6.5 inches the forms take.
    pdftoppm -png -gray -r 100 -x 0 -y 0 -W 600 -H 650 -singlefile "$pdf" "$out/$name"
    echo "$out/$name.png"
done
