#!/bin/sh
# A 1000-page text report (60 lines of 80 characters a page) printed by a
# running Novarcprint into the embedded PDF file printer, beside cups-filters'
# texttopdf turning the same text into a PDF, in the same run.  Prints pages
# per second (whole run: process start to finished PDF) and peak resident
# memory for each.
#
#   bench/text_report_bench.sh [BUILD_DIR] [PAGES]
#
# BUILD_DIR defaults to build/release (configured with the release preset
# when missing); the client and the driver are built there first, unless
# TEXT_REPORT_BENCH_NO_BUILD=1 (measure the binaries as they are).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
pages=${2:-1000}
texttopdf=/usr/lib/cups/filter/texttopdf

case $build in /*) ;; *) build=$here/$build ;; esac
if [ "${TEXT_REPORT_BENCH_NO_BUILD:-0}" != 1 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake --preset release -S "$here" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j2 --target Novarcprint text_report_bench >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/text-report-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# 60 numbered lines of exactly 80 characters a page, CR LF line ends, no
# form feeds: texttopdf's letter page holds 60 lines at 6 per inch, and the
# client breaks before the 61st line at form length 62 (60 usable lines).
awk -v pages="$pages" 'BEGIN {
    pad = "Patient record line, columns and figures as a server report prints them....."
    for (p = 1; p <= pages; p++)
        for (l = 1; l <= 60; l++) {
            line = sprintf("%5d %3d  %s", p, l, pad)
            printf "%s\r\n", substr(line, 1, 80)
        }
}' >"$work/report.txt"

count_pages() {
    pdfinfo "$1" | awk '/^Pages:/ { print $2 }'
}

# The client: a fresh root each run, so the embedded default printer is
# created as on a new workstation.
mkdir -p "$work/root"
client_line=$(WINPORT_ROOT="$work/root" "$build/bin/text_report_bench" "$build/bin/Novarcprint" \
    "$work/report.txt" 62)
client_pdf=$(find "$work/root/drive_c/novarc/printed" -name '*.pdf' | head -n 1)
client_pages=$(count_pages "$client_pdf")
field() {
    echo "$client_line" | sed "s/.*$1=\([^ ]*\).*/\1/"
}
client_total=$(field total_s)
client_print=$(field print_s)
client_cpu=$(awk -v u="$(field user_s)" -v s="$(field sys_s)" 'BEGIN { print u + s }')
client_rss=$(field max_rss_kib)
client_size=$(stat -c %s "$client_pdf")

# texttopdf as CUPS runs it: job id, user, title, copies, options, file;
# no PPD, so it uses its default page (letter) and 10 characters per inch.
env -i PATH=/usr/bin:/bin CONTENT_TYPE=text/plain CHARSET=utf-8 \
    /usr/bin/time -f "%e %U %S %M" "$texttopdf" 1 bench report 1 "" "$work/report.txt" \
    2>"$work/tt.err" >"$work/tt.pdf"
set -- $(tail -n 1 "$work/tt.err")
tt_total=$1
tt_cpu=$(awk -v u="$2" -v s="$3" 'BEGIN { print u + s }')
tt_rss=$4
tt_pages=$(count_pages "$work/tt.pdf")
tt_size=$(stat -c %s "$work/tt.pdf")

echo "text: $pages pages x 60 lines x 80 characters ($(stat -c %s "$work/report.txt") bytes)," \
    "load average $(cut -d ' ' -f 1 /proc/loadavg)"
printf '%-26s %6s %8s %8s %8s %12s %10s\n' program pages wall_s pages/s cpu_s "peak RSS KiB" \
    "PDF bytes"
row() {
    awk -v n="$1" -v p="$2" -v s="$3" -v c="$4" -v r="$5" -v z="$6" \
        'BEGIN { printf "%-26s %6d %8.2f %8.0f %8s %12s %10s\n", n, p, s, p / s, c, r, z }'
}
row "Novarcprint (whole run)" "$client_pages" "$client_total" "$client_cpu" "$client_rss" \
    "$client_size"
row "Novarcprint (after open)" "$client_pages" "$client_print" - - -
row "texttopdf" "$tt_pages" "$tt_total" "$tt_cpu" "$tt_rss" "$tt_size"
