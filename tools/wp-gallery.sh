#!/usr/bin/env bash
# Renders a page or two of each word-processor document feature to PNG in
# docs/gallery/, so that a reviewer sees what the renderer draws: wp-sample
# writes one document per feature, novarc-send prints each on the embedded
# "Workstation PDF" printer of a scratch workstation root through a real
# Novarcprint, and pdftoppm turns the first pages into images.
#
#   bash tools/wp-gallery.sh [BUILD_DIR]     (default build/debug)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
bin=$build/bin
for exe in wp-sample novarc-send Novarcprint; do
  [ -x "$bin/$exe" ] || { echo "wp-gallery: $bin/$exe missing; build first" >&2; exit 1; }
done
command -v pdftoppm >/dev/null || { echo "wp-gallery: pdftoppm (poppler-utils) missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p docs/gallery "$work/docs"
"$bin/wp-sample" gallery "$work/docs"

# One document per job; the boxes page gets its data fields first.
print_job() { # name type
  local name=$1 type=$2 root="$work/root-$1" job="$work/$1.job"
  mkdir -p "$root"
  {
    echo 'OPEN_PRINTER "s:Workstation PDF" s: i:66 i:0 s:'
    [ -f "$work/docs/$name.fields" ] && echo "PRINT_DATA_FIELD_INFO @:$work/docs/$name.fields"
    echo "$type @:$work/docs/$name.wpd"
    echo "CLOSE_PRINTER"
  } > "$job"
  WINPORT_ROOT="$root" "$bin/novarc-send" --spawn "$bin/Novarcprint" --wait 3000 --job "$job" \
    > "$work/$name.out" 2>&1 || { cat "$work/$name.out" >&2; exit 1; }
  local pdf
  pdf=$(find "$root" -name '*.pdf' | head -1)
  [ -n "$pdf" ] || { echo "wp-gallery: $name printed no PDF" >&2; cat "$work/$name.out" >&2; exit 1; }
  rm -f docs/gallery/wp-"$name"-*.png
  pdftoppm -png -r 60 -f 1 -l 2 "$pdf" "docs/gallery/wp-$name"
  echo "wp-gallery: $name -> $(ls docs/gallery/wp-"$name"-*.png | tr '\n' ' ')"
}

for name in fonts tabs justify boxes signature; do
  print_job "$name" PRINT_NOVARC_DOCUMENT
done
for name in heading structured; do
  print_job "$name" PRINT_NOVARC_DOCUMENT_HEADING
done
