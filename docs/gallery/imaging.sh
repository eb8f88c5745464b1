#!/usr/bin/env bash
# Renders the imaging library's sample pages (a scanned G4 page with
# annotations; transforms, annotations burnt in, a signature with SRCAND)
# through the PDF printer, then to PNG at 50 dpi beside this script:
# docs/gallery/imaging-1.png, imaging-2.png.
#
#   bash docs/gallery/imaging.sh [BUILD_DIR]      (BUILD_DIR: build/debug)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/debug}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
WINPORT_ROOT="$root" "$build/bin/imaging_gallery" "$root/imaging.pdf"
pdftoppm -r 50 -png "$root/imaging.pdf" "$root/page"
for page in "$root"/page-*.png; do
  n=$(basename "$page" .png | sed 's/^page-0*//')
  cp "$page" "docs/gallery/imaging-$n.png"
done
pdfimages -list "$root/imaging.pdf"
echo "wrote docs/gallery/imaging-*.png"
