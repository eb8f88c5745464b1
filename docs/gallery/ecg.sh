#!/usr/bin/env bash
# Renders the ECG library's gallery: a synthetic twelve-lead recording (HL7
# annotated ECG) printed through the library into a 300 dpi PDF printer,
# as a PNG at 100 dpi beside this script: docs/gallery/ecg-report.png.
#
#   bash docs/gallery/ecg.sh [BUILD_DIR]      (BUILD_DIR: build/debug)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/debug}
cmake --build "$build" --target ecg_gallery kelecg >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/bin/ecg_gallery" "$scratch/root" "$scratch/gallery.pdf"
mkdir -p docs/gallery
pdftoppm -r 100 -png -singlefile "$scratch/gallery.pdf" docs/gallery/ecg-report
ls docs/gallery/ecg-report.png
