#!/usr/bin/env bash
# The main job, end to end on this machine.
#
#   bash scripts/run.sh             the print service in debug mode on a fresh
#                                   root; a sample report is sent to it as the
#                                   server sends one, and comes out as a PDF
#   bash scripts/run.sh --service   installs the service for real (root
#                                   /var/lib/novarc, a systemd unit where
#                                   systemd runs), starts it and prints one
#                                   report through it; it keeps running
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-demo}

bash scripts/bootstrap.sh
echo "building (release preset) ..."
# A plain build: a compiler's warning must not stop the main job.
cmake --preset release -DNOVARC_WERROR=OFF >/dev/null
cmake --build --preset release -j"$(nproc)" --target Printkeeper PrintkeeperHelper Novarcprint novarc-send >/dev/null
build=$PWD/build/release

work=$(mktemp -d)
report="$work/report.txt"
{
  printf 'DAILY APPOINTMENT REPORT                               12/09/2026\r\n\r\n'
  for i in $(seq 1 100); do
    printf '%02d:%02d  PATIENT %05d   FOLLOW-UP VISIT        ROOM %d   CONFIRMED\r\n' \
      $((8 + i / 12)) $(((i % 12) * 5)) $((1000 + i * 37)) $((1 + i % 4))
  done
} > "$report"

# Waits until the print port takes connections (the service is up).
wait_for_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>/dev/tcp/127.0.0.1/13001) 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

# How many PDFs a folder holds (0 when it does not exist yet).
count_pdfs() {
  local n
  n=$(find "$1" -maxdepth 1 -name '*.pdf' 2>/dev/null | wc -l) || true
  echo "${n:-0}"
}

# Sends the report and waits for the PDF the embedded printer writes.
print_report() {
  local root=$1
  local printed="$root/drive_c/novarc/printed"
  local before
  before=$(count_pdfs "$printed")
  echo "sending a $(wc -l < "$report")-line report to 127.0.0.1:13001 with novarc-send"
  "$build/bin/novarc-send" --printer "Workstation PDF" --text "$report" --wait 3000 |
    sed 's/^/  novarc-send: /'
  for _ in $(seq 1 300); do
    [ "$(count_pdfs "$printed")" -gt "$before" ] && break
    sleep 0.1
  done
  local pdf
  pdf=$(ls -t "$printed"/*.pdf 2>/dev/null | head -1 || true)
  if [ -z "$pdf" ]; then
    echo "no PDF arrived; the service log says:" >&2
    cat "$root/drive_c/novarc/bin/Services/ErrorLogs/Printkeeper.log" >&2 || true
    return 1
  fi
  sleep 0.5 # the client finishes writing before it ends
  echo
  echo "the report is printed: $pdf"
  pdfinfo "$pdf" | grep -E '^(Pages|Page size)' | sed 's/^/  /'
  echo "  first lines:"
  pdftotext -layout "$pdf" - | sed -n '1,4p' | sed 's/^/    /'
}

if [ "$mode" = "--service" ]; then
  root=/var/lib/novarc
  bash scripts/install.sh "$root" "$build" --layout
  program="$root/drive_c/novarc/bin2/Printkeeper.exe"
  helper="$root/drive_c/novarc/bin2/PrintkeeperHelper.exe"
  export WINPORT_ROOT=$root
  "$program" -remove >/dev/null 2>&1 || true
  "$helper" -remove >/dev/null 2>&1 || true
  "$helper" -install
  "$program" -install
  sh scripts/layout.sh "$root" # what the registration wrote as root goes to the service user
  if [ -d /run/systemd/system ]; then
    systemctl start NovarcPrintkeeperHelper NovarcPrintkeeper
    echo "started: systemctl status NovarcPrintkeeper"
  else
    # No systemd here: start the programs the way the service manager does,
    # as the services they registered: the service as its user, the helper
    # as root.
    WINPORT_SERVICE_NAME=NovarcPrintkeeperHelper setsid "$helper" >"$work/helper.out" 2>&1 < /dev/null &
    (umask 027; WINPORT_SERVICE_NAME=NovarcPrintkeeper setsid setpriv --reuid=novarc --regid=novarc \
      --init-groups --no-new-privs "$program" >"$work/service.out" 2>&1 < /dev/null &)
    echo "started as services (no systemd on this machine)"
  fi
  wait_for_port || { echo "the service did not open the print port" >&2; exit 1; }
  print_report "$root"
  echo
  echo "The service keeps running.  Stop it:   WINPORT_ROOT=$root $program -stop"
  echo "                           Remove it: WINPORT_ROOT=$root $program -remove"
  echo "Service log: $root/drive_c/novarc/bin/Services/ErrorLogs/Printkeeper.log"
  exit 0
fi

root="$work/root"
export WINPORT_ROOT=$root
bash scripts/install.sh "$root" "$build" >/dev/null
"$root/drive_c/novarc/bin2/Printkeeper.exe" -debug >"$work/service.out" 2>&1 &
service=$!
trap 'kill -INT $service 2>/dev/null || true' EXIT
echo "Printkeeper (debug mode, pid $service) on the fresh root $root"
wait_for_port || { echo "the service did not open the print port" >&2; cat "$work/service.out" >&2; exit 1; }
print_report "$root"

echo
echo "stopping the service (Ctrl+C)"
kill -INT $service
wait $service || true
trap - EXIT
echo "service log:"
sed 's/^/  /' "$root/drive_c/novarc/bin/Services/ErrorLogs/Printkeeper.log"
echo
echo "The PDF stays under $root/drive_c/novarc/printed"
