#!/usr/bin/env bash
# The office path against LibreOffice alone: a ten-page .docx printed by
# our "soffice.exe" (LibreOffice converts with a fresh profile, the PDF is
# fitted to the paper and drawn onto a PDF file printer) beside
# `soffice --convert-to pdf` of the same file with a fresh profile, in the
# same run; then a second document through our path, and LibreOffice's
# start alone (a one-line document), which is what an instance kept warm
# between documents would save.  Figures: docs/performance.md.
#
#   bash bench/office_print.sh [BUILD_DIR] [RUNS]     (build/debug, 3)
# OFFICE_BENCH_NO_BUILD=1 uses the programs as they are built.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
runs=${2:-3}
[ -n "${OFFICE_BENCH_NO_BUILD:-}" ] || cmake --build "$build" --target soffice winport-reg >/dev/null
command -v soffice >/dev/null || { echo "LibreOffice is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root/drive_c/in"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Bench PDF]\n"Port"="FILE:C:\\\\out.pdf"\n' |
  WINPORT_ROOT="$root" "$build/bin/winport-reg" import -

# Ten pages of a letter: 10 x 45 lines with a form feed after each page.
python3 - "$work/letter.txt" "$work/tiny.txt" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    for page in range(10):
        for line in range(45):
            f.write(f"Page {page + 1} line {line + 1}: the referral letter, its findings and plan.\n")
        f.write("\f")
open(sys.argv[2], "w").write("one line\n")
PY
make_docx() { # text file -> .docx beside it
  soffice --headless --norestore "-env:UserInstallation=file://$work/maker" \
    --convert-to docx --outdir "$work" "$1" >/dev/null 2>&1
}
make_docx "$work/letter.txt"
make_docx "$work/tiny.txt"
cp "$work/letter.docx" "$root/drive_c/in/letter.docx"
cp "$work/letter.docx" "$root/drive_c/in/second.docx"

now() { date +%s.%N; }
best() { sort -n | head -1; }
alone=() ours=() second=() start=()
for i in $(seq "$runs"); do
  rm -rf "$work/p$i" "$work/out$i"
  t0=$(now)
  soffice --headless --norestore "-env:UserInstallation=file://$work/p$i" \
    --convert-to pdf --outdir "$work/out$i" "$work/letter.docx" >/dev/null 2>&1
  t1=$(now)
  WINPORT_ROOT="$root" "$build/bin/soffice" -headless -pt "Bench PDF" 'C:\in\letter.docx'
  t2=$(now)
  WINPORT_ROOT="$root" "$build/bin/soffice" -headless -pt "Bench PDF" 'C:\in\second.docx'
  t3=$(now)
  rm -rf "$work/q$i"
  soffice --headless --norestore "-env:UserInstallation=file://$work/q$i" \
    --convert-to pdf --outdir "$work/tiny$i" "$work/tiny.docx" >/dev/null 2>&1
  t4=$(now)
  alone+=("$(echo "$t1 - $t0" | bc)") ours+=("$(echo "$t2 - $t1" | bc)")
  second+=("$(echo "$t3 - $t2" | bc)") start+=("$(echo "$t4 - $t3" | bc)")
done
pages=$(pdfinfo "$root/drive_c/out.pdf" | awk '/^Pages:/ {print $2}')
a=$(printf '%s\n' "${alone[@]}" | best)
o=$(printf '%s\n' "${ours[@]}" | best)
s=$(printf '%s\n' "${second[@]}" | best)
w=$(printf '%s\n' "${start[@]}" | best)
printf 'pages printed           %s\n' "$pages"
printf 'soffice --convert-to    %.2f s (best of %s)\n' "$a" "$runs"
printf 'our office path         %.2f s  ratio %.2f\n' "$o" "$(echo "$o / $a" | bc -l)"
printf 'second document         %.2f s\n' "$s"
printf 'LibreOffice start alone %.2f s (one-line document, fresh profile)\n' "$w"
