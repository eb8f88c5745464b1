#!/usr/bin/env bash
# Renders what image printing puts on paper to PNG in docs/gallery/, so a
# reviewer sees it: a scanned chart page with its annotations and a
# heading, an insurance card trimmed into half a page, a photograph with a
# signature printed over it, and a letter on the practice's letterhead with
# a photograph inside and the doctor's signature at the page end.  The
# pictures come from tests/image_samples.py (outside tools); novarc-send
# sends them as the server does to a real Novarcprint on the embedded
# "Workstation PDF" printer of a scratch workstation root, and pdftoppm
# turns the first page into an image.
#
#   bash tools/images-gallery.sh [BUILD_DIR]     (default build/debug)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
bin=$build/bin
for exe in wp-sample novarc-send Novarcprint; do
  [ -x "$bin/$exe" ] || { echo "images-gallery: $bin/$exe missing; build first" >&2; exit 1; }
done
command -v pdftoppm >/dev/null || { echo "images-gallery: pdftoppm (poppler-utils) missing" >&2; exit 1; }

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
samples=$build/image_samples
/usr/bin/python3 tests/image_samples.py "$samples"
mkdir -p docs/gallery "$work/docs" "$work/in"
"$bin/wp-sample" gallery "$work/docs"
# The annotation file goes by the scan's name, as the server names it.
cp "$samples/page_g4.tif" "$work/in/chart.tif"
cat > "$work/in/chart.tif.ann" <<'JSON'
{
  "format": "novarc-annotations",
  "version": 1,
  "image": {"width": 2550, "height": 3300},
  "objects": [
    {"type": "rectangle", "rect": [180, 360, 1500, 560], "color": "#FF0000", "lineWidth": 8},
    {"type": "arrow", "points": [[1900, 900], [1520, 520]], "color": "#0000FF", "lineWidth": 10},
    {"type": "highlighter", "rect": [180, 990, 2300, 1070]},
    {"type": "note", "rect": [1700, 160, 2450, 420], "text": "Compare with the scan of 3 May",
     "font": {"name": "Arial", "size": 48}},
    {"type": "stamp", "rect": [1650, 2950, 2400, 3150], "text": "REVIEWED",
     "font": {"name": "Arial", "size": 90, "bold": true}}
  ]
}
JSON

# name, then novarc-send's arguments
render() {
  local name=$1 root="$work/root-$1"
  shift
  # The imaging library is "installed": its seven DLL names in the
  # system folder, which winport's module map resolves to the component.
  mkdir -p "$root/drive_c/Windows/system32" "$root/drive_c/novarc"
  for dll in ltkrnu.dll ltfilu.dll lttwnu.dll LTDISU.DLL ltannu.dll Ltimgefxu.dll ltimgcoru.dll; do
    : > "$root/drive_c/Windows/system32/$dll"
  done
  WINPORT_ROOT="$root" "$bin/novarc-send" --spawn "$bin/Novarcprint" --wait 3000 \
    --printer "Workstation PDF" "$@" > "$work/$name.out" 2>&1 ||
    { cat "$work/$name.out" >&2; exit 1; }
  local pdf
  pdf=$(find "$root/drive_c/novarc/printed" -name '*.pdf' | head -1)
  [ -n "$pdf" ] || { echo "images-gallery: $name printed no PDF" >&2; cat "$work/$name.out" >&2; exit 1; }
  pdftoppm -png -r 50 -f 1 -l 1 -singlefile "$pdf" "docs/gallery/images-$name"
  echo "images-gallery: $name -> docs/gallery/images-$name.png"
}

render scan --annotation "$work/in/chart.tif.ann" --heading "Chart of Ann Lee, visit of 12 September" \
  --image "$work/in/chart.tif"
render card --image-mode 8 --image "$samples/card.jpg"
render signature --image-mode 4 --image "$samples/photo.jpg" \
  --signature "$samples/signature.png" --signature-at 10,70,6,8
render letter --letterhead "$samples/letterhead.png" --store "$samples/photo.jpg" \
  --signature "$samples/signature.png" --signature-at 10,5,5,0 \
  --wp-document "$work/docs/letter-images.wpd"
