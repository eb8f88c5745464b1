#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and
# benchmark.  Idempotent: installs only what is missing, and refreshes the
# package lists only when something must be installed.
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format clang-tidy
  # libraries
  zlib1g-dev libcrypto++-dev libpugixml-dev libjsoncpp-dev
  # the imaging library
  libleptonica-dev libtiff-dev
  # drawing and fonts
  libcairo2-dev libfontconfig-dev libfreetype-dev fonts-liberation2 fonts-urw-base35
  # the PDF engine and converter components (qpdf's tool for tests and benchmarks)
  libpoppler-glib-dev libqpdf-dev libjpeg-dev qpdf
  # the fax server's spool format (PCL, TIFF-F) from our PDFs
  ghostscript
  # web pages printed by URL (the browser object, headless)
  chromium
  # the office programs print Word and Excel files through LibreOffice
  libreoffice-writer-nogui libreoffice-calc-nogui
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev poppler-utils zbar-tools
  # image tests: outside tools write the pictures the decoders must read
  libjpeg-turbo-progs libtiff-tools leptonica-progs libopenjp2-tools python3-pil
  # the package built and checked (scripts/package.sh)
  lintian dpkg-dev
  # the system code checked against the real Windows SDK headers
  # (scripts/check-windows.sh)
  g++-mingw-w64-x86-64-posix
  # the build generates the bar-code font with fontTools
  python3 python3-fonttools
  # the text-report benchmark compares with cups-filters' texttopdf and
  # measures peak memory with /usr/bin/time
  cups-filters time
  # printing: CUPS client library, a CUPS server and cups-pdf for the spooler tests
  libcups2-dev cups printer-driver-cups-pdf
  # a real IPP printer for the CUPS tests (ippeveprinter needs a D-Bus daemon)
  cups-ipp-utils dbus-daemon
  # the tray icon and menu on a desktop; the desktop test's X server and XTest
  libgtk-3-dev xvfb libx11-dev libxtst-dev
  # the terminal sessions from systemd-logind
  libsystemd-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: all ${#packages[@]} packages present"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
