#!/usr/bin/env bash
# Keeps platform headers out of the system code: only winport/ and
# components/ may include POSIX, cairo, CUPS, poppler or Leptonica headers.
# Tests, tools, fuzzers and benchmarks are outside the rule.
set -euo pipefail
cd "$(dirname "$0")/.."

pattern='#\s*include\s*[<"](unistd\.h|sys/[^>"]*|pthread\.h|dlfcn\.h|fcntl\.h|netinet/[^>"]*|arpa/[^>"]*|netdb\.h|poll\.h|dirent\.h|cairo[^>"]*|cups/[^>"]*|poppler[^>"]*|leptonica/[^>"]*|allheaders\.h)'
hits=$(grep -rnE "$pattern" kellib novarcprint printkeeper 2>/dev/null \
         --include='*.cpp' --include='*.h' --include='*.hpp' --include='*.cc' \
       | grep -vE '/(tests|fuzz)/' || true)
if [ -n "$hits" ]; then
  echo "check-layers: platform headers above winport/components:"
  echo "$hits"
  exit 1
fi
echo "check-layers: system code uses only the Windows API of winport"
