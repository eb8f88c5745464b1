#!/usr/bin/env bash
# Keeps the system code (kellib, novarcprint, printkeeper) compiling for
# Windows unchanged: every source file of those folders, whatever it is
# (new folders included), is checked by mingw-w64's g++ with -fsyntax-only
# against the real Windows SDK headers, never winport's.
#
#   bash scripts/check-windows.sh [FILE...]     (default: every .cpp)
#
# zlib, pugixml, Crypto++ and jsoncpp have no mingw-w64 package in Debian:
# their headers are portable, so the check takes the Linux packages' headers
# from a folder holding only them (never /usr/include as a whole, whose C
# library headers would shadow the Windows ones).  Tests and fuzzers are
# not system code and are not checked. The order files reach the SDK
# headers in is checked by scripts/windows-include-order.py.
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "check-windows: $cxx missing (scripts/bootstrap.sh)"; exit 1; }

shims=$(mktemp -d)
trap 'rm -rf "$shims"' EXIT
for h in zlib.h zconf.h pugixml.hpp pugiconfig.hpp cryptopp jsoncpp/json; do
  [ -e "/usr/include/$h" ] && ln -s "/usr/include/$h" "$shims/$(basename "$h")"
done

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(find kellib novarcprint printkeeper -name '*.cpp' \
                         -not -path '*/tests/*' -not -path '*/fuzz/*' | sort)
fi
# Every folder of the system code that holds headers, and the components'
# shared headers: the include paths the build gives them.
mapfile -t dirs < <(find kellib novarcprint printkeeper components/include \
                      -name '*.h' -not -path '*/tests/*' -not -path '*/fuzz/*' \
                      -printf '%h\n' | sort -u)
includes=()
for d in "${dirs[@]}"; do includes+=("-I$d"); done

# Parsing the SDK and the C++ library is most of each file's cost: both are
# compiled once into a precompiled header put in front of every file, with
# the standard headers the system code uses first (so they never see a
# Windows macro they would not see on their own), then winsock2.h and
# windows.h in the order the code must use them.  The order each file
# reaches the SDK headers in is checked apart, since the precompiled header
# hides it from the compiler.
status=0
sdk=$(echo '#include <windows.h>' | "$cxx" -x c++ -E -M - | grep -o '[^ ]*/windows\.h' | head -1)
python3 scripts/windows-include-order.py "${sdk%/windows.h}" "${includes[@]}" "${files[@]}" || status=1

flags=(-std=c++20 -Wall -Wextra -Werror -Winvalid-pch)
{
  find kellib novarcprint printkeeper components/include \( -name '*.cpp' -o -name '*.h' \) \
       -not -path '*/tests/*' -not -path '*/fuzz/*' -print0 |
    xargs -0 grep -hoE '^#\s*include\s*<[a-z_]+>' | sed 's/^#\s*/#/' | sort -u
  printf '#include <winsock2.h>\n#include <windows.h>\n'
} >"$shims/front.h"
"$cxx" "${flags[@]}" -x c++-header "$shims/front.h" -o "$shims/front.h.gch"

# One compiler per core; a file's errors are printed whole, under its name.
check_one() {
  local f=$1 out
  shift
  if ! out=$("$cxx" -fsyntax-only "$@" "$f" 2>&1); then
    printf '%s\ncheck-windows: %s FAILED\n' "$(echo "$out" | head -30)" "$f"
    return 1
  fi
}
export -f check_one
export cxx
printf '%s\0' "${files[@]}" |
  xargs -0 -P "$(nproc)" -I{} bash -c 'check_one "$@"' _ {} "${flags[@]}" \
    -include "$shims/front.h" "${includes[@]}" -idirafter "$shims" ||
  status=1
echo "check-windows: ${#files[@]} files checked, $([ $status -eq 0 ] && echo all pass || echo some FAILED)"
exit $status
