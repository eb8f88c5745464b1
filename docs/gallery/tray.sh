#!/usr/bin/env bash
# The tray companion on a desktop: runs the desktop test (Xvfb, the test's
# own XEmbed tray, the service and its companion), which photographs the
# docked icon, the open menu and the log viewer, and keeps the menu's and
# the viewer's pictures here: docs/gallery/tray_menu.png and
# docs/gallery/tray_log_viewer.png.
#
#   bash docs/gallery/tray.sh [BUILD_DIR]      (BUILD_DIR: build/debug)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/debug}
cmake --build "$build" --target tray_desktop_e2e_test Printkeeper Novarcprint >/dev/null
"$build/bin/tray_desktop_e2e_test" >/dev/null
mkdir -p docs/gallery
cp "$build/tests/tray_menu.png" "$build/tests/tray_log_viewer.png" docs/gallery/
ls docs/gallery/tray_menu.png docs/gallery/tray_log_viewer.png
