#!/usr/bin/env bash
# Renders the PDF engine's gallery: sample PDFs printed through the engine
# into a 600 dpi PDF printer with unprintable margins (a visit note with a
# heading and a page-numbered footing, a landscape page turned onto portrait
# paper, a filled form), each printed page as a PNG at 50 dpi beside this
# script: docs/gallery/pdfengine-1.png to pdfengine-3.png.
#
#   bash docs/gallery/pdfengine.sh [BUILD_DIR]      (BUILD_DIR: build/debug)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/debug}
cmake --build "$build" --target pdf_gallery kelpdftron >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/bin/pdf_gallery" "$scratch/root" "$scratch/gallery.pdf"
mkdir -p docs/gallery
rm -f docs/gallery/pdfengine-*.png
pdftoppm -r 50 -png "$scratch/gallery.pdf" docs/gallery/pdfengine
ls docs/gallery/pdfengine-*.png
