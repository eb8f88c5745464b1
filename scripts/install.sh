#!/usr/bin/env bash
# Installs the built programs into a winport root as a workstation has them:
# the service, its privileged helper and the print client in C:\novarc\bin2
# (Printkeeper.exe, PrintkeeperHelper.exe, novarcprint.exe), with the
# libraries and fonts they load beside them, and the components' DLL names
# where the client loads them from (the converter printers its installer
# makes with them).  With --layout (as root) it also gives the root its
# owners and permissions (scripts/layout.sh: the service user "novarc").
#
#   bash scripts/install.sh ROOT [BUILD_DIR] [--layout]   (BUILD_DIR: build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

root=${1:?usage: install.sh ROOT [BUILD_DIR]}
build=${2:-build/release}
bin2="$root/drive_c/novarc/bin2"

for f in "$build/bin/Printkeeper" "$build/bin/PrintkeeperHelper" "$build/bin/Novarcprint" \
  "$build/bin/winport_net" "$build/lib/libwinport.so"; do
  [ -e "$f" ] || { echo "install: $f is missing; build first" >&2; exit 1; }
done

mkdir -p "$bin2"
# Copies land under a temporary name and are renamed into place, so a
# running service never starts a half-written client.
place() {
  cp "$1" "$bin2/.$2.new" && mv -f "$bin2/.$2.new" "$bin2/$2"
}
place "$build/bin/Printkeeper" Printkeeper.exe
place "$build/bin/PrintkeeperHelper" PrintkeeperHelper.exe
place "$build/bin/Novarcprint" novarcprint.exe
for lib in "$build"/lib/*.so; do
  place "$lib" "$(basename "$lib")"
done
# Components go where the client loads them from, as vendor DLLs would: the
# imaging library's seven DLL names in the system folder, each a link to the
# one shared object beside the programs.  Removing a name makes that DLL
# missing, as on Windows.
system32="$root/drive_c/Windows/system32"
if [ -e "$bin2/libnovarc_imaging.so" ]; then
  mkdir -p "$system32"
  for dll in ltkrnu.dll ltfilu.dll lttwnu.dll LTDISU.DLL ltannu.dll Ltimgefxu.dll ltimgcoru.dll; do
    ln -sfn ../../novarc/bin2/libnovarc_imaging.so "$system32/$dll"
  done
fi
# The PDF engine in C:\novarc\bin\PdfTron; the PDF converter and its
# installer in the system folder.  The installer makes the three converter
# printers and the version file the update service reads ("cdintf550.kel").
pdftron="$root/drive_c/novarc/bin/PdfTron"
if [ -e "$bin2/libkelpdftron.so" ]; then
  mkdir -p "$pdftron/resources"
  ln -sfn ../../bin2/libkelpdftron.so "$pdftron/kelpdftron.dll"
fi
if [ -e "$bin2/libcdintf550.so" ] && [ -e "$build/bin/cdinstall" ]; then
  mkdir -p "$system32"
  ln -sfn ../../novarc/bin2/libcdintf550.so "$system32/cdintf550.dll"
  cp "$build/bin/cdinstall" "$system32/.cdinstall.exe.new"
  mv -f "$system32/.cdinstall.exe.new" "$system32/cdinstall.exe"
  WINPORT_ROOT="$root" "$system32/cdinstall.exe" -s >/dev/null
fi
# The ECG library in C:\novarc\bin\ecg, and the fax server's port monitor
# (the printer "VSIFAX Server" is the fax server's to install, with the
# port MONITOR:vfxport.dll).
if [ -e "$bin2/libkelecg.so" ]; then
  mkdir -p "$root/drive_c/novarc/bin/ecg"
  ln -sfn ../../bin2/libkelecg.so "$root/drive_c/novarc/bin/ecg/KelEcg.dll"
fi
if [ -e "$bin2/libvfxport.so" ]; then
  mkdir -p "$system32"
  ln -sfn ../../novarc/bin2/libvfxport.so "$system32/vfxport.dll"
fi
# The office programs only where LibreOffice is: the office library in the
# system folder and "soffice.exe", which App Paths names; without
# LibreOffice neither is there and the client reports both missing.
office="$root/drive_c/novarc/bin/office"
if command -v soffice >/dev/null 2>&1 && [ -e "$bin2/libkelword.so" ] &&
   [ -e "$build/bin/soffice" ] && [ -e "$build/bin/winport-reg" ]; then
  mkdir -p "$system32" "$office"
  ln -sfn ../../novarc/bin2/libkelword.so "$system32/KelWord.dll"
  cp "$build/bin/soffice" "$office/.soffice.exe.new" && mv -f "$office/.soffice.exe.new" "$office/soffice.exe"
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\soffice.exe]\n@="C:\\\\novarc\\\\bin\\\\office\\\\soffice.exe"\n' |
    WINPORT_ROOT="$root" "$build/bin/winport-reg" import - >/dev/null
else
  rm -f "$system32/KelWord.dll" "$office/soffice.exe"
  WINPORT_ROOT="$root" "$build/bin/winport-reg" delete \
    'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\soffice.exe' >/dev/null 2>&1 || true
fi

# The web browser object, only where Chromium is: its library in the system
# folder and its class registered; without Chromium the class is not there
# and a URL print fails with a log line.
browser_key='HKCR\CLSID\{0002DF01-0000-0000-C000-000000000046}'
if command -v chromium >/dev/null 2>&1 && [ -e "$bin2/libkelbrowser.so" ] &&
   [ -e "$build/bin/winport-reg" ]; then
  mkdir -p "$system32"
  ln -sfn ../../novarc/bin2/libkelbrowser.so "$system32/KelBrowser.dll"
  printf 'REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\InprocServer32]\n@="C:\\\\Windows\\\\system32\\\\KelBrowser.dll"\n' |
    WINPORT_ROOT="$root" "$build/bin/winport-reg" import - >/dev/null
else
  rm -f "$system32/KelBrowser.dll"
  WINPORT_ROOT="$root" "$build/bin/winport-reg" delete "$browser_key" >/dev/null 2>&1 || true
fi

# "CompImage": workers' compensation forms are printed as images on a
# printer whose port writes one TIFF file, which the print client's close
# timer returns to the server.
if [ -e "$build/bin/winport-reg" ]; then
  mkdir -p "$root/drive_c/novarc/CompImage"
  WINPORT_ROOT="$root" "$build/bin/winport-reg" import - >/dev/null <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Printers\CompImage]
"Port"="FILE:c:\\novarc\\CompImage\\CompImage.tif"
"ImagePrinter"=dword:00000001
"Resolution"=dword:000000c8
REG
fi

# net.exe of the system directory: "net start"/"net stop" for the service.
mkdir -p "$system32"
cp "$build/bin/winport_net" "$system32/.net.exe.new" && mv -f "$system32/.net.exe.new" "$system32/net.exe"
if [ -d "$build/lib/fonts" ]; then
  mkdir -p "$bin2/fonts"
  cp -r "$build/lib/fonts/." "$bin2/fonts/"
fi
if [ "${3:-}" = "--layout" ]; then
  sh scripts/layout.sh "$root"
  # The tray companion starts in every desktop session from this autostart
  # entry: the service's user cannot start programs in other users'
  # sessions.  It works on the service's root (its pipe, logs and flags).
  mkdir -p /etc/xdg/autostart
  cat > /etc/xdg/autostart/novarc-print-tray.desktop <<EOF
[Desktop Entry]
Type=Application
Name=NOVARC Print Service
Comment=Tray icon of the workstation's print service
Exec=env WINPORT_ROOT=$root $bin2/Printkeeper.exe -UI
NoDisplay=true
X-GNOME-Autostart-enabled=true
EOF
fi
echo "installed into $bin2"
