#!/bin/sh
# Gives a workstation root its owners and permissions (as root; idempotent).
# The package runs it at every install and upgrade; scripts/install.sh runs
# it when it runs as root.
#
#   sh scripts/layout.sh ROOT [USER]            (USER: novarc)
#
# The service and its clients run as USER, a system user whose own group
# is also the operators' group: an operator added to it (adduser NAME
# novarc) may read the logs and printed output and control the services,
# nobody else may enter the root at all.  (An existing USER, such as
# "nobody" in the tests, keeps its own primary group in that role.)
#
#   ROOT, C:\, C:\novarc          root:USER  1770 / 1770 / 1770 (ROOT 0750)
#       the folders on the way to the programs belong to root, so no process
#       of USER can swap a program folder; USER may add (and manage its own)
#       entries in C:\ and C:\novarc (the sticky bit keeps root's).
#   C:\novarc\bin2, C:\Windows    root:root  0755: only root changes programs
#   ROOT/winport/sessions         root:USER  1770: each desktop session's
#       folder of named objects belongs to its user
#   everything else               USER:USER, folders 0750, files 0640 at most
set -eu

root=${1:?usage: layout.sh ROOT [USER]}
user=${2:-novarc}
[ "$(id -u)" -eq 0 ] || { echo "layout: run as root" >&2; exit 1; }

if ! getent passwd "$user" >/dev/null; then
  useradd --system --user-group --home-dir /nonexistent --no-create-home \
    --shell /usr/sbin/nologin --comment "Novarc print service" "$user"
fi

group=$(id -gn "$user")
c="$root/drive_c"
# The services' folder is made here, for the user: the helper (root) may
# start first and would otherwise make it root's, where the service could
# not place its own lock and socket.
mkdir -p "$root/winport/services" "$c/novarc/bin2" "$c/novarc/bin/Services/ErrorLogs" \
  "$c/Windows/system32" "$c/kel/transfer"

# Data first (everything but the program folders), then the fixed parts,
# so a link planted in the data is never followed (chown -h, find -P).
find -P "$root" -xdev \( -path "$c/novarc/bin2" -o -path "$c/Windows" -o \
  -path "$root/winport/sessions" \) -prune -o -exec chown -h "$user:$group" {} + 
find -P "$root" -xdev \( -path "$c/novarc/bin2" -o -path "$c/Windows" -o \
  -path "$root/winport/sessions" \) -prune -o -type d -exec chmod u=rwx,g=rx,o= {} + \
  -o -type f -exec chmod g-w,o-rwx {} +
chown root:root "$c/novarc/bin2" "$c/Windows" "$c/Windows/system32"
chmod 0755 "$c/novarc/bin2" "$c/Windows" "$c/Windows/system32"
find -P "$c/novarc/bin2" "$c/Windows" -xdev -exec chown -h root:root {} +
find -P "$c/novarc/bin2" "$c/Windows" -xdev -exec chmod go-w {} +
chown root:"$group" "$root" "$c" "$c/novarc"
chmod 0750 "$root"
chmod 1770 "$c" "$c/novarc"
# Each desktop session's own named objects, in a folder its user makes and
# owns (sticky: nobody removes another's); never re-owned above.
[ -L "$root/winport/sessions" ] && rm -f "$root/winport/sessions"
mkdir -p "$root/winport/sessions"
chown -h root:"$group" "$root/winport/sessions"
chmod 1770 "$root/winport/sessions"
