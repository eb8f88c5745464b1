#!/usr/bin/env bash
# The main job, end to end on this machine.
#
# Today: builds the project and sends a sample text report through the wire
# layer on loopback (framed, compressed, sealed), to a second process that
# decodes it and answers with the same bytes; the answer is checked byte for
# byte.  When the print service lands this becomes: start Printkeeper on a
# fresh root with its embedded default printer, send the report as a print
# job, and show where the PDF is.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target kelwire >/dev/null
bin=build/release/bin

work=$(mktemp -d)
trap 'kill "${listener:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export WINPORT_ROOT="$work/root"

report="$work/report.txt"
{
  echo "DAILY APPOINTMENT REPORT                               12/09/2026"
  echo
  for i in $(seq 1 60); do
    printf '%02d:%02d  PATIENT %05d   FOLLOW-UP VISIT        ROOM %d   CONFIRMED\r\n' \
      $((8 + i / 6)) $(((i % 6) * 10)) $((1000 + i * 37)) $((1 + i % 4))
  done
} > "$report"

port=$((20000 + RANDOM % 20000))
"$bin/kelwire" listen "$port" --once > "$work/listener.log" 2>&1 &
listener=$!
for _ in $(seq 1 50); do
  grep -q listening "$work/listener.log" 2>/dev/null && break
  sleep 0.1
done

echo "sending a $(wc -c < "$report")-byte report over 127.0.0.1:$port"
"$bin/kelwire" send 127.0.0.1 "$port" "$report" --options 0x200
wait "$listener" || true
echo "the listener saw:"
sed 's/^/  /' "$work/listener.log"
