#!/bin/sh
# A scanned chart of G4 letter pages (300 dpi) sent over loopback to a
# freshly started Novarcprint and printed into the embedded PDF file
# printer, beside tiff2pdf (libtiff-tools) making one PDF of the same pages
# in the same run (tiffcp joins them first; both steps are timed).  Prints
# pages per second, CPU time, peak resident memory, and each PDF's size
# against the pages' G4 file bytes; pdfimages confirms the pages stayed G4.
#
#   bench/image_chart_bench.sh [BUILD_DIR] [PAGES]
#
# BUILD_DIR defaults to build/release (configured with the release preset
# when missing); the client, the imaging component and the driver are built
# there first, unless IMAGE_CHART_BENCH_NO_BUILD=1.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
pages=${2:-100}

case $build in /*) ;; *) build=$here/$build ;; esac
if [ "${IMAGE_CHART_BENCH_NO_BUILD:-0}" != 1 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake --preset release -S "$here" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j2 --target Novarcprint novarc_imaging image_chart_bench >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/image-chart-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# The chart's pages, written by Leptonica as G4 TIFF files (kept between
# runs beside the build: making them takes longer than printing them).
samples=$build/image_samples
/usr/bin/python3 "$here/tests/image_samples.py" "$samples" --chart "$pages"
files=$(for n in $(seq 1 "$pages"); do printf '%s/chart-%03d.tif ' "$samples" "$n"; done)
g4_bytes=$(cat $files | wc -c)

count_pages() {
    pdfinfo "$1" | awk '/^Pages:/ { print $2 }'
}
row() {
    awk -v n="$1" -v p="$2" -v s="$3" -v c="$4" -v r="$5" -v z="$6" -v g="$g4_bytes" \
        'BEGIN { printf "%-26s %6d %8.2f %8.1f %8s %12s %10s %6.2f\n", n, p, s, p / s, c, r, z, z / g }'
}

# The imaging library "installed": its seven DLL names in the system folder.
mkdir -p "$work/root/drive_c/Windows/system32" "$work/root/drive_c/novarc"
for dll in ltkrnu.dll ltfilu.dll lttwnu.dll LTDISU.DLL ltannu.dll Ltimgefxu.dll ltimgcoru.dll; do
    : > "$work/root/drive_c/Windows/system32/$dll"
done
# shellcheck disable=SC2086
client_line=$(WINPORT_ROOT="$work/root" "$build/bin/image_chart_bench" "$build/bin/Novarcprint" \
    $files)
client_pdf=$(find "$work/root/drive_c/novarc/printed" -name '*.pdf' | head -n 1)
field() {
    echo "$client_line" | tr '\n' ' ' | sed "s/.*$1=\([^ ]*\).*/\1/"
}

echo "chart: $pages G4 letter pages at 300 dpi, $g4_bytes bytes of G4 files," \
    "load average $(cut -d ' ' -f 1 /proc/loadavg)"
printf '%-26s %6s %8s %8s %8s %12s %10s %6s\n' program pages wall_s pages/s cpu_s \
    "peak RSS KiB" "PDF bytes" "x G4"
row "Novarcprint (whole run)" "$(count_pages "$client_pdf")" "$(field total_s)" \
    "$(awk -v u="$(field user_s)" -v s="$(field sys_s)" 'BEGIN { print u + s }')" \
    "$(field max_rss_kib)" "$(stat -c %s "$client_pdf")"
row "Novarcprint (after open)" "$(count_pages "$client_pdf")" "$(field print_s)" - - \
    "$(stat -c %s "$client_pdf")"

# tiff2pdf: the pages joined into one TIFF, then that TIFF into a PDF.
# shellcheck disable=SC2086
/usr/bin/time -f "%e %U %S %M" tiffcp $files "$work/chart.tif" 2>"$work/cp.time"
/usr/bin/time -f "%e %U %S %M" tiff2pdf -o "$work/chart.pdf" "$work/chart.tif" 2>"$work/t2p.time"
set -- $(tail -n 1 "$work/cp.time") $(tail -n 1 "$work/t2p.time")
row "tiffcp + tiff2pdf" "$(count_pages "$work/chart.pdf")" \
    "$(awk -v a="$1" -v b="$5" 'BEGIN { print a + b }')" \
    "$(awk -v a="$2" -v b="$3" -v c="$6" -v d="$7" 'BEGIN { print a + b + c + d }')" \
    "$(($4 > $8 ? $4 : $8))" "$(stat -c %s "$work/chart.pdf")"

echo "image encodings in the client's PDF (pdfimages -list, first three):"
pdfimages -list "$client_pdf" | sed -n '3,5p'
