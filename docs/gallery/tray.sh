#!/usr/bin/env bash
# The tray companion on a desktop: runs the desktop test (Xvfb, the test's
# own XEmbed tray, the service and its companion), which photographs the
# docked icon and the open menu, and keeps the menu's picture here:
# docs/gallery/tray_menu.png.
#
#   bash docs/gallery/tray.sh [BUILD_DIR]      (BUILD_DIR: build/debug)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/debug}
cmake --build "$build" --target tray_desktop_e2e_test Printkeeper Novarcprint >/dev/null
"$build/bin/tray_desktop_e2e_test" >/dev/null
mkdir -p docs/gallery
cp "$build/tests/tray_menu.png" docs/gallery/tray_menu.png
ls docs/gallery/tray_menu.png
