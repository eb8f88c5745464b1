#!/bin/sh
# Convert and send: a 100-page text report printed on the "NovarcPDF"
# converter printer of a running Novarcprint and returned over loopback,
# whole and page by page, timed from PRINT_CONVERT_AND_SEND_FILES to the
# last returned byte; beside it, in the same run, qpdf joining the same
# part into one file and splitting it into pages, and the wire time of the
# returned bytes in the same 1000-byte blocks over loopback.
#
#   bench/convert_send_bench.sh [BUILD_DIR] [PAGES]
#
# BUILD_DIR defaults to build/release (configured with the release preset
# when missing); the client, the components and the driver are built there
# first, unless CONVERT_SEND_BENCH_NO_BUILD=1.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
pages=${2:-100}

case $build in /*) ;; *) build=$here/$build ;; esac
if [ "${CONVERT_SEND_BENCH_NO_BUILD:-0}" != 1 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake --preset release -S "$here" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j2 --target Novarcprint kelpdftron cdintf550 cdinstall \
        convert_send_bench >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/convert-send-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# 60 numbered lines of 80 characters a page; the client breaks before the
# 61st line at form length 62.
awk -v pages="$pages" 'BEGIN {
    pad = "Patient record line, columns and figures as a server report prints them....."
    for (p = 1; p <= pages; p++)
        for (l = 1; l <= 60; l++) {
            line = sprintf("%5d %3d  %s", p, l, pad)
            printf "%s\r\n", substr(line, 1, 80)
        }
}' >"$work/report.txt"

mkdir -p "$work/root"
line=$(WINPORT_ROOT="$work/root" "$build/bin/convert_send_bench" "$build/bin/Novarcprint" \
    "$build/bin/cdinstall" "$work/report.txt" "$work/returned.pdf" 62 | grep '^convert ')
# A field by its whole name: " whole_s=" is not the end of "wire_whole_s=".
field() {
    echo "$line" | sed "s/.* $1=\([^ ]*\).*/\1/"
}
returned_pages=$(pdfinfo "$work/returned.pdf" | awk '/^Pages:/ { print $2 }')

# qpdf on the same part: joined into one file, then split into pages.
now() { date +%s.%N; }
t0=$(now)
qpdf --empty --pages "$work/returned.pdf" -- "$work/joined.pdf"
t1=$(now)
mkdir -p "$work/split"
qpdf --split-pages "$work/joined.pdf" "$work/split/page-%d.pdf"
t2=$(now)
qpdf_join=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
qpdf_split=$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", b - a }')

echo "report: $pages pages x 60 lines; returned PDF $returned_pages pages," \
    "$(stat -c %s "$work/returned.pdf") bytes; load average $(cut -d ' ' -f 1 /proc/loadavg)"
printf '%-34s %9s %9s %9s %12s %7s\n' return client_s qpdf_s wire_s "qpdf+wire" ratio
row() {
    awk -v n="$1" -v c="$2" -v q="$3" -v w="$4" 'BEGIN {
        printf "%-34s %9.3f %9.3f %9.3f %12.3f %7.2f\n", n, c, q, w, q + w, c / (q + w) }'
}
row "whole ($(field whole_bytes) bytes)" "$(field whole_s)" "$qpdf_join" "$(field wire_whole_s)"
row "page by page ($(field pages) files)" "$(field pages_s)" "$qpdf_split" \
    "$(field wire_pages_s)"
