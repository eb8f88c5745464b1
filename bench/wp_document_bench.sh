#!/bin/sh
# A letter-style word-processor document (mixed fonts, tabs, a check box and
# a signature per page) printed by a freshly started Novarcprint into the
# embedded PDF file printer, beside LibreOffice converting the same text as
# an .odt to PDF, in the same run.  Prints pages per second (whole run:
# process start to finished PDF; and from the printer-open reply on), CPU
# time, peak resident memory and PDF size for each.
#
#   bench/wp_document_bench.sh [BUILD_DIR] [PAGES]
#
# BUILD_DIR defaults to build/release (configured with the release preset
# when missing); the client, wp-sample and the driver are built there first,
# unless WP_DOCUMENT_BENCH_NO_BUILD=1.  Without LibreOffice (soffice) its row
# says so and the client's rows are printed alone.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
pages=${2:-100}

case $build in /*) ;; *) build=$here/$build ;; esac
if [ "${WP_DOCUMENT_BENCH_NO_BUILD:-0}" != 1 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake --preset release -S "$here" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j2 --target Novarcprint wp-sample wp_document_bench >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/wp-document-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# The document and the same text as plain paragraphs, tabs kept.
"$build/bin/wp-sample" letter "$pages" "$work/letter.wpd" "$work/letter.txt"

count_pages() {
    pdfinfo "$1" | awk '/^Pages:/ { print $2 }'
}
row() {
    awk -v n="$1" -v p="$2" -v s="$3" -v c="$4" -v r="$5" -v z="$6" \
        'BEGIN { printf "%-26s %6d %8.2f %8.0f %8s %12s %10s\n", n, p, s, p / s, c, r, z }'
}

mkdir -p "$work/root"
client_line=$(WINPORT_ROOT="$work/root" "$build/bin/wp_document_bench" "$build/bin/Novarcprint" \
    "$work/letter.wpd")
client_pdf=$(find "$work/root/drive_c/novarc/printed" -name '*.pdf' | head -n 1)
field() {
    echo "$client_line" | sed "s/.*$1=\([^ ]*\).*/\1/"
}

echo "document: $pages letter pages ($(stat -c %s "$work/letter.wpd") bytes of payload," \
    "$(stat -c %s "$work/letter.txt") of text), load average $(cut -d ' ' -f 1 /proc/loadavg)"
printf '%-26s %6s %8s %8s %8s %12s %10s\n' program pages wall_s pages/s cpu_s "peak RSS KiB" \
    "PDF bytes"
client_pages=$(count_pages "$client_pdf")
row "Novarcprint (whole run)" "$client_pages" "$(field total_s)" \
    "$(awk -v u="$(field user_s)" -v s="$(field sys_s)" 'BEGIN { print u + s }')" \
    "$(field max_rss_kib)" "$(stat -c %s "$client_pdf")"
row "Novarcprint (after open)" "$client_pages" "$(field print_s)" - - -

soffice=$(command -v soffice || command -v libreoffice || true)
if [ -z "$soffice" ]; then
    echo "LibreOffice: not installed (libreoffice-writer-nogui)"
    exit 0
fi
# The .odt is made first, untimed, which also sets the private profile up;
# then the timed run converts the .odt to PDF as a user would.
profile="-env:UserInstallation=file://$work/lo-profile"
mkdir -p "$work/odt" "$work/pdf"
"$soffice" "$profile" --headless --infilter="Text (encoded):UTF8,LF,,," \
    --convert-to odt --outdir "$work/odt" "$work/letter.txt" >/dev/null 2>&1
/usr/bin/time -f "%e %U %S %M" "$soffice" "$profile" --headless --convert-to pdf \
    --outdir "$work/pdf" "$work/odt/letter.odt" >/dev/null 2>"$work/lo.err"
set -- $(tail -n 1 "$work/lo.err")
row "LibreOffice .odt to PDF" "$(count_pages "$work/pdf/letter.pdf")" "$1" \
    "$(awk -v u="$2" -v s="$3" 'BEGIN { print u + s }')" "$4" "$(stat -c %s "$work/pdf/letter.pdf")"
